# bash completion for veskactl: commands, options and their fixed values,
# port numbers, terminal numbers and file operands.
#
# The lists below follow veskactl's command table (cli/src/commands.cpp) and
# option table (cli/src/command_line.cpp); the test veskactl.Completion
# compares them, so a command or option added there must be added here too.

# The line options every command takes, then --help and --version.
_veskactl_line_options="--port --baud --parity --data --stop --timeout --retry --polling --trace"
_veskactl_commands="poll dir info status delete rename dispinit reboot poweroff remote-end ap-end put get get-all install os-install serve-download serve-upload job"
_veskactl_job_commands="show run"
_veskactl_baud_rates="1200 2400 4800 9600 19200 38400 57600 115200"

# The options of COMMAND beyond the line options.
_veskactl_command_options() {
  case $1 in
    put) echo "--stop-on-error" ;;
    get | get-all) echo "--to --mode" ;;
    install) echo "--mode" ;;
    serve-download) echo "--stop-on-error --limit --result --result-mode" ;;
    serve-upload) echo "--to --mode --limit --result --result-mode" ;;
    job) echo "--download --upload" ;;
  esac
}

# What the option $1 takes as a value: "none" for a switch, "values LIST",
# "port", "dir", "file", or "other" (a number with no fixed list).
_veskactl_option_value() {
  case $1 in
    --port) echo port ;;
    --baud) echo "values $_veskactl_baud_rates" ;;
    --parity) echo "values N E O" ;;
    --data) echo "values 7 8" ;;
    --stop) echo "values 1 2" ;;
    --mode)
      if [ "$2" = install ]; then echo "values 0 1"; else echo "values overwrite append new"; fi
      ;;
    --result-mode) echo "values 0 1 2" ;;
    --to) echo dir ;;
    --trace | --result) echo file ;;
    --timeout | --retry | --polling | --limit) echo other ;;
    *) echo none ;;
  esac
}

# The port numbers this machine has: port N opens $VESKA_COM<N>, else
# /dev/ttyS<N-1>.
_veskactl_ports() {
  local name device
  for name in $(compgen -v VESKA_COM); do
    [[ $name =~ ^VESKA_COM([1-9][0-9]*)$ ]] && echo "${BASH_REMATCH[1]}"
  done
  for device in /dev/ttyS[0-9]*; do
    [[ $device =~ ^/dev/ttyS([0-9]+)$ ]] && echo $((BASH_REMATCH[1] + 1))
  done
}

# Offers the words of $2 that start with $1 (one word a line, no file names).
_veskactl_offer() {
  local word
  COMPREPLY=()
  while IFS= read -r word; do COMPREPLY+=("$word"); done < <(compgen -W "$2" -- "$1")
}

_veskactl_offer_files() {
  local word
  COMPREPLY=()
  while IFS= read -r word; do COMPREPLY+=("$word"); done < <(compgen "$2" -- "$1")
  compopt -o filenames 2>/dev/null || true
}

_veskactl() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local command="" positional=() i word value previous_option=""
  local options_ended=false

  # What is typed before the word being completed: the command, its
  # sub-command, the other operands, and whether that word is an option's value.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [ -n "$previous_option" ]; then
      # bash splits "--baud=9600" at the "=": the value is the word after it.
      [ "$word" = = ] && continue
      previous_option=""
      continue
    fi
    if ! $options_ended && [ "$word" = -- ]; then
      options_ended=true
    elif ! $options_ended && [[ $word == --* ]]; then
      value=$(_veskactl_option_value "$word" "$command")
      [ "$value" = none ] || previous_option=$word
    else
      positional+=("$word")
    fi
  done
  command=${positional[0]:-}

  if [ -n "$previous_option" ]; then
    # Right after "--baud=" the word being completed is the "=" itself, and
    # what is typed after it replaces nothing before it.
    [ "$current" = = ] && current=""
    value=$(_veskactl_option_value "$previous_option" "$command")
    case $value in
      values\ *) _veskactl_offer "$current" "${value#values }" ;;
      port) _veskactl_offer "$current" "$(_veskactl_ports | sort -nu)" ;;
      dir) _veskactl_offer_files "$current" -d ;;
      file) _veskactl_offer_files "$current" -f ;;
      *) COMPREPLY=() ;;
    esac
    return 0
  fi

  if ! $options_ended && [[ $current == -* ]]; then
    _veskactl_offer "$current" "$_veskactl_line_options $(_veskactl_command_options "$command") --help --version"
    return 0
  fi

  case ${#positional[@]} in
    0)
      _veskactl_offer "$current" "$_veskactl_commands"
      return 0
      ;;
    1)
      case $command in
        job) _veskactl_offer "$current" "$_veskactl_job_commands" ;;
        serve-download | serve-upload) COMPREPLY=() ;;  # a selection such as 1,3,5-10
        *) _veskactl_offer "$current" "$(seq 1 128)" ;;
      esac
      return 0
      ;;
  esac
  # The operands: PC files for the commands that send or read them;
  # terminal file names cannot be known without the line.
  case $command in
    put | install | os-install | serve-download | job) _veskactl_offer_files "$current" -f ;;
    *) COMPREPLY=() ;;
  esac
  return 0
}

complete -F _veskactl veskactl
