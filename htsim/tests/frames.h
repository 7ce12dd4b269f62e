// Frames for driving a terminal from memory, as the PC would send them.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "codec.h"
#include "terminal.h"
#include "wire.h"

namespace vsk::htsim::test {

inline std::span<const uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

inline Frame frameOf(const Bytes& b) {
    return splitFrame(b.data(), b.size(), true);
}

inline Frame command(int ht, char code, const std::string& params = "") {
    return frameOf(makeFrame('C', ht, '0', static_cast<uint8_t>(code), bytesOf(params)));
}

inline Frame answer(int ht, char block, uint8_t control) {
    return frameOf(answerFrame(ht, block, control));
}

inline Frame data(int ht, char block, const std::string& payload) {
    return frameOf(dataFrame(ht, block, payload));
}

inline Frame end(int ht, uint8_t control) {
    return frameOf(endFrame(ht, control));
}

// A result frame from the PC: the letter is its data.
inline Frame pcResult(int ht, char block, char letter) {
    return frameOf(makeFrame('R', ht, block, static_cast<uint8_t>(letter)));
}

inline std::vector<Frame> framesOf(const std::vector<Emission>& out) {
    std::vector<Frame> frames;
    for (const Emission& e : out)
        for (const Bytes& b : e.frames())
            frames.push_back(splitFrame(b.data(), b.size(), checkMatches(b.data(), b.size())));
    return frames;
}

inline std::string text(const Frame& f) {
    return std::string(f.data.begin(), f.data.end());
}

}  // namespace vsk::htsim::test
