// The terminal's side of the line in the fuzz build: the port the exchange
// engine reads (fake_port.cpp) serves bytes from a script, and the clock
// (fake_clock.cpp) only moves when the engine waits, so a time-out costs no
// real time.
//
// A script is a run of records, each released onto the line when the PC
// writes its next frame (a terminal answers only what it was sent):
//
//   header byte H, then by H & 3:
//     0  raw bytes:    LEN, LEN bytes as they are
//     1  frame:        TYPE, BLOCK, LENHI, LENLO, data; from the HT number
//                      of the PC's last frame
//     2  frame:        TYPE, HT1, HT2, HT3, BLOCK, LENHI, LENLO, data
//     3  write event:  F; by F % 3, the PC's next write fails or stops
//                      short instead of releasing anything, or the user
//                      asks to stop (Vsk_Suspend) as it goes out
//   H & 0x80  released together with the record before it, without a write
//   H & 0x40  (frames) the check byte is wrong
//
// Frames get their length field and check byte from the script's length
// (LENHI * 256 + LENLO, modulo 1100, cut to what the script still holds), so
// the fuzzer reaches the engine's logic without having to find check bytes;
// raw records reach the reader's handling of everything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsk::fuzz {

// Starts a line that serves `script` (which must outlive the run).
void startLine(const uint8_t* script, size_t size);

// Every write the PC made on the line since startLine, one entry per write.
const std::vector<std::vector<uint8_t>>& pcWrites();

// Script bytes not yet released: seeds use this to check they were used up.
size_t scriptLeft();

// Virtual time, in microseconds since the line started.
uint64_t nowUs();
void advanceUs(uint64_t us);
void resetClock();

}  // namespace vsk::fuzz
