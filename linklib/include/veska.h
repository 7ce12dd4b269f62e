/*
 * veska.h - the link library's C interface.
 *
 * Every function returns a signed 32-bit result code (0 = success). Every
 * argument is 32 bits wide: an int32_t, a zero-terminated byte string, or the
 * address of a record that the caller owns and the library fills during the
 * call. The library keeps no reference to a caller's record after it returns.
 *
 * Texts that name terminal files hold the terminals' CP932 bytes as they
 * travel on the line; PC paths are UTF-8.
 */
#ifndef VESKA_H
#define VESKA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* VSK_CALL is the functions' calling convention: __stdcall on 32-bit
 * Windows, as the callers written for that system declare them; the
 * platform's only one elsewhere. The DLL exports the undecorated names. */
#if defined(_WIN32)
#define VSK_API
#if defined(__i386__) || defined(_M_IX86)
#define VSK_CALL __stdcall
#else
#define VSK_CALL
#endif
#else
#if defined(VESKA_BUILDING_LIBRARY)
#define VSK_API __attribute__((visibility("default")))
#else
#define VSK_API
#endif
#define VSK_CALL
#endif

#define VSK_VERSION_MAJOR 2
#define VSK_VERSION_MINOR 3
#define VSK_VERSION_TEXT "2.03"

/* Number of terminals on one line and file entries in one listing or batch. */
#define VSK_MAX_HT 128
#define VSK_MAX_FILES 128

/* What the arguments may be. Terminals are numbered 1 to VSK_MAX_HT; a terminal
 * file name is at most 12 CP932 bytes; a PC path at most 127 bytes; a file
 * that travels at most 9999999 bytes (seven digits on the line). */
#define VSK_MIN_HT 1
#define VSK_NAME_WIDTH 12
#define VSK_MAX_PATH 127
#define VSK_MAX_FILE_SIZE 9999999
#define VSK_MIN_TIMEOUT_MS 500
#define VSK_MAX_TIMEOUT_MS 5000
#define VSK_MIN_RETRY 1
#define VSK_MAX_RETRY 10
#define VSK_MIN_POLLING_MS 50
#define VSK_MAX_POLLING_MS 300      /* Vsk_Polling */
#define VSK_MAX_LOOP_POLLING_MS 500 /* the polling loops */
#define VSK_MIN_LIMIT_S 10          /* a loop's time limit, or 0 for none */
#define VSK_MAX_LIMIT_S 3600

/* The line speeds a port can run at, e.g. `int32_t rates[] = {VSK_BAUD_RATES};`.
 * A BaudRate of 0 means 9600. */
#define VSK_BAUD_RATES 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200
#define VSK_BAUD_RATE_COUNT 8

/* LineSettings codes. VSK_PARITY_LETTERS[code] is the letter users see. */
enum { VSK_PARITY_NONE = 0, VSK_PARITY_EVEN = 1, VSK_PARITY_ODD = 2 };
#define VSK_PARITY_LETTERS "NEO"
enum { VSK_DATA_BITS_7 = 0, VSK_DATA_BITS_8 = 1 };
enum { VSK_STOP_BITS_1 = 0, VSK_STOP_BITS_2 = 1 };

/* The serial settings the tools and veskactl start from while none are stored. */
#define VSK_DEFAULT_PORT 1
#define VSK_DEFAULT_BAUD_RATE 19200
#define VSK_DEFAULT_PARITY VSK_PARITY_NONE
#define VSK_DEFAULT_DATA_BITS 8
#define VSK_DEFAULT_STOP_BITS 1
#define VSK_DEFAULT_TIMEOUT_MS 800
#define VSK_DEFAULT_RETRY 7
#define VSK_DEFAULT_POLLING_MS 100

/* Save modes of uploads, modes of the polling loops' result file, and what
 * became of each file of a batch (DownloadEntry and UploadEntry Outcome). */
enum { VSK_SAVE_OVERWRITE = 0, VSK_SAVE_APPEND = 1, VSK_SAVE_NEW_ONLY = 2 };
enum { VSK_RESULT_CREATE = 0, VSK_RESULT_APPEND = 1, VSK_RESULT_NONE = 2 };
enum { VSK_SKIP_FAILED = 0, VSK_STOP_AT_FAILED = 1 };
enum {
    VSK_OUTCOME_NOT_PROCESSED = 0,
    VSK_OUTCOME_DONE = 1, /* sent or received */
    VSK_OUTCOME_FAILED = 2,
    VSK_OUTCOME_SAME_NAME = 3 /* uploads: kept the PC's file of that name */
};

/* Result codes. Their texts are available through the library's history files. */
enum {
    VSK_OK = 0,
    VSK_E_PARAM = 1001,
    VSK_E_ABORT_HT = 1002,
    VSK_E_ABORT_PC = 1003,
    VSK_E_HANDLE = 1004,
    VSK_E_NOT_IN_TRANSFER = 1005,
    VSK_E_CLR_REFUSED = 1006,
    VSK_E_POLL_TIMEOUT = 2001,
    VSK_E_RECEIVE = 2002,
    VSK_E_NAK_RESEND = 2003,
    VSK_E_HT_MODE = 2004,
    VSK_E_TIMEOUT = 2005,
    VSK_E_POLL_FUNC_TIMEOUT = 2006,
    VSK_E_BUSY = 2007,
    VSK_E_ALREADY_OPEN = 2008,
    VSK_E_UPLOAD_SIZE = 3001,
    VSK_E_PC_DISK_FULL = 3002,
    VSK_E_PC_FILE_MISSING = 3003,
    VSK_E_PC_FOLDER_MISSING = 3004,
    VSK_E_NOT_SYSTEM_HEX = 3005,
    VSK_E_OS_EX_SAME_NAME = 3006,
    VSK_E_OS_FILE_MISSING = 3007,
    VSK_E_EX_FILE_MISSING = 3008,
    VSK_E_HISTORY_FILE = 3009,
    VSK_E_SAME_NAME_EXISTS = 3010,
    VSK_E_PC_FILE_NAME = 3011, /* a terminal file name that is no safe PC file name */
    VSK_E_HT_FILE_MISSING = 4001,
    VSK_E_HT_FILE_IO = 4002,
    VSK_E_HT_DELETE = 4003,
    VSK_E_HT_RENAME = 4004,
    VSK_E_HT_RANDOM_RENAME = 4005,
    VSK_E_SYS_OPEN = 6001,
    VSK_E_SYS_GET_STATE = 6002,
    VSK_E_SYS_SET_STATE = 6003,
    VSK_E_SYS_SET_TIMEOUTS = 6004,
    VSK_E_SYS_WRITE = 6005,
    VSK_E_SYS_READ = 6006,
    VSK_E_SYS_MODEM_LINES = 6007,
    VSK_E_SYS_MOVE = 6008
};

/* Line settings for Vsk_ComOpen. */
typedef struct LineSettings {
    int32_t BaudRate; /* 0 (= 9600) or one of VSK_BAUD_RATES */
    int32_t Parity;   /* VSK_PARITY_NONE, _EVEN or _ODD */
    int32_t BiteSize; /* 0 = 7 data bits, 1 = 8 data bits */
    int32_t StopBits; /* 0 = one stop bit, 1 = two */
    int32_t Flow;     /* 0 = DTR and RTS low, 1 = raised while the port is open */
    int32_t timeout;  /* reply time-out per byte, 500 to 5000 ms */
    int32_t Retry;    /* attempts per block or command, 1 to 10 */
} LineSettings;

/* One file of a terminal listing. Name is 12 CP932 bytes and a blank, no terminating zero. */
typedef struct DirEntry {
    char Name[13];
    int32_t Size;
} DirEntry;

typedef struct DirRecord {
    int32_t FileCount; /* number of files the terminal announced */
    int32_t FreeSize;  /* free size the terminal announced */
    DirEntry Entries[VSK_MAX_FILES];
} DirRecord;

typedef struct FileInfoRecord {
    char Name[13]; /* in: terminal file name */
    int32_t Size;  /* out */
    char Info1[7]; /* out: six characters as received and a blank */
    char Info2[7]; /* out */
} FileInfoRecord;

typedef struct StatusRecord {
    int32_t StatusValue;
    char StatusText1[6]; /* five characters as received and a blank */
    char StatusText2[6];
    char StatusFlag;
} StatusRecord;

typedef struct DownloadEntry {
    char Path[128];   /* full path of the PC file; trailing blanks are ignored */
    int32_t Size;     /* the file's length; a file whose length differs is not sent */
    int32_t SkipMode; /* VSK_SKIP_FAILED: mark a failed file and go on; VSK_STOP_AT_FAILED */
    int32_t Outcome;  /* out: 0 not processed, 1 sent, 2 failed */
} DownloadEntry;

typedef struct DownloadList {
    DownloadEntry Entries[VSK_MAX_FILES];
} DownloadList;

typedef struct UploadEntry {
    char Name[13];   /* out: terminal file name, 12 characters and a blank */
    int32_t Size;    /* out: size announced */
    int32_t Outcome; /* out: 0 not processed, 1 received, 2 failed, 3 same name exists */
} UploadEntry;

typedef struct UploadList {
    int32_t Count;    /* in: entries to clear; out: files the terminal announced */
    int32_t SaveMode; /* 0 overwrite, 1 append, 2 new files only */
    UploadEntry Entries[VSK_MAX_FILES];
} UploadList;

typedef struct ResultFileRecord {
    char Path[128];     /* full path of the result file */
    int32_t ResultMode; /* 0 create anew, 1 append, 2 no result file */
} ResultFileRecord;

typedef struct ProgressRecord {
    char HtNo[4];      /* blank-filled, no terminating zero */
    char FileName[13]; /* blank-filled, no terminating zero */
    char Reserved[3];  /* not written */
    int32_t Percent;   /* bytes done * 100 / bytes total */
} ProgressRecord;

#ifdef __cplusplus
#define VSK_SIZE_CHECK(type, size) static_assert(sizeof(type) == (size), #type " layout")
#else
#define VSK_SIZE_CHECK(type, size) _Static_assert(sizeof(type) == (size), #type " layout")
#endif
VSK_SIZE_CHECK(LineSettings, 28);
VSK_SIZE_CHECK(DirEntry, 20);
VSK_SIZE_CHECK(DirRecord, 2568);
VSK_SIZE_CHECK(FileInfoRecord, 36);
VSK_SIZE_CHECK(StatusRecord, 20);
VSK_SIZE_CHECK(DownloadEntry, 140);
VSK_SIZE_CHECK(DownloadList, 17920);
VSK_SIZE_CHECK(UploadEntry, 24);
VSK_SIZE_CHECK(UploadList, 3080);
VSK_SIZE_CHECK(ResultFileRecord, 132);
VSK_SIZE_CHECK(ProgressRecord, 24);
#undef VSK_SIZE_CHECK

/* Session. Port N opens $VESKA_COM<N>, else /dev/ttyS<N-1> (on Windows \\.\COM<N>). Open mode 0
 * plain, 1 announce the speed with a code byte, 2 announce it on DTR and RTS. */
VSK_API int32_t VSK_CALL Vsk_ComOpen(int32_t* handle, int32_t port, int32_t mode,
                                     const LineSettings* settings);
VSK_API int32_t VSK_CALL Vsk_ComClose(int32_t handle);

/* Is terminal `ht` ("001".."128") there? Polling time-out 50 to 300 ms. */
VSK_API int32_t VSK_CALL Vsk_Polling(int32_t handle, const char* ht, int32_t polling_ms);

/* Terminal queries and control. */
VSK_API int32_t VSK_CALL Vsk_DIR(int32_t handle, const char* ht, DirRecord* dir);
VSK_API int32_t VSK_CALL Vsk_DispInit(int32_t handle, const char* ht);
VSK_API int32_t VSK_CALL Vsk_FDelete(int32_t handle, const char* ht, const char* name);
VSK_API int32_t VSK_CALL Vsk_FRename(int32_t handle, const char* ht, const char* old_name,
                                     const char* new_name);
VSK_API int32_t VSK_CALL Vsk_APEnd(int32_t handle, const char* ht);
VSK_API int32_t VSK_CALL Vsk_GetFileInfo(int32_t handle, const char* ht, FileInfoRecord* info);
VSK_API int32_t VSK_CALL Vsk_GetStatus(int32_t handle, const char* ht, StatusRecord* status);
VSK_API int32_t VSK_CALL Vsk_PcRemoteEnd(int32_t handle, const char* ht);
VSK_API int32_t VSK_CALL Vsk_ReBoot(int32_t handle, const char* ht);
VSK_API int32_t VSK_CALL Vsk_PowerOff(int32_t handle, const char* ht);

/* Single-file transfers. Save mode of uploads: 0 overwrite, 1 append, 2 new files only.
 * A non-zero show_progress opens the library's progress window where the host has one. */
VSK_API int32_t VSK_CALL Vsk_FUpload(int32_t handle, const char* ht, int32_t save_mode,
                                     const char* folder, const char* name, int32_t size,
                                     int32_t show_progress);
VSK_API int32_t VSK_CALL Vsk_FDownload(int32_t handle, const char* ht, const char* path,
                                       int32_t size, int32_t show_progress);

/* Installs: install mode 1 sends command "A", 0 command "B". */
VSK_API int32_t VSK_CALL Vsk_APInstall(int32_t handle, const char* ht, const char* path,
                                       int32_t size, int32_t install_mode, int32_t show_progress);
VSK_API int32_t VSK_CALL Vsk_OSInstall(int32_t handle, const char* ht, const char* path,
                                       int32_t size, int32_t show_progress);
VSK_API int32_t VSK_CALL Vsk_OSInstall2(int32_t handle, const char* ht, const char* os_path,
                                        int32_t os_size, const char* ex_path, int32_t ex_size,
                                        int32_t show_progress);

/* Batches with one terminal: the first `count` entries of `list` are sent; every
 * file the terminal offers is received into `folder`. */
VSK_API int32_t VSK_CALL Vsk_AllDownload(int32_t handle, const char* ht, int32_t count,
                                         DownloadList* list, int32_t show_progress);
VSK_API int32_t VSK_CALL Vsk_AllUpload(int32_t handle, const char* ht, const char* folder,
                                       UploadList* list, int32_t show_progress);

/* Polling loops over the terminals selected by a 128-character "0"/"1" mask,
 * writing a result file. Polling time-out 50 to 500 ms; time limit 0 (none) or
 * 10 to 3600 s. They run until the limit passes without a transfer, or an abort. */
VSK_API int32_t VSK_CALL Vsk_PollingAllDownload(int32_t handle, const char* mask,
                                                int32_t polling_ms, int32_t limit_s, int32_t count,
                                                const DownloadList* list,
                                                const ResultFileRecord* result,
                                                int32_t show_progress);
VSK_API int32_t VSK_CALL Vsk_PollingAllUPload(int32_t handle, const char* mask, const char* folder,
                                              int32_t save_mode, int32_t polling_ms,
                                              int32_t limit_s, const ResultFileRecord* result,
                                              int32_t show_progress);

/* Abort and progress: these work also while another call is running. Vsk_Suspend
 * is safe to call from a signal handler. */
VSK_API int32_t VSK_CALL Vsk_Suspend(int32_t handle);
VSK_API int32_t VSK_CALL Vsk_GetProcess(int32_t handle, ProgressRecord* progress);
VSK_API int32_t VSK_CALL Vsk_ClrProcess(int32_t handle);

/* Copies the system's text for the last system error (no terminating zero) into
 * `buffer` (at least 256 bytes) and returns that error code, or 0. */
VSK_API int32_t VSK_CALL Vsk_GetSysErrorMsg(char* buffer);

#ifdef __cplusplus
}
#endif

#endif /* VESKA_H */
