#include "codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "result_codes.h"
#include "veska.h"

namespace vsk::frame {
namespace {

std::vector<uint8_t> built(char type, const char* ht, const char* block, uint8_t control,
                           const std::string& data = "") {
    uint8_t buf[kSendBufferSize];
    size_t n = build(buf, type, ht, block, control, reinterpret_cast<const uint8_t*>(data.data()),
                     data.size());
    return {buf, buf + n};
}

// Feeds bytes to a reader; returns the last status.
FrameReader::Status feed(FrameReader& r, const std::vector<uint8_t>& bytes) {
    FrameReader::Status s = FrameReader::Status::kNeedMore;
    for (uint8_t b : bytes) s = r.push(b);
    return s;
}

// Feeds bytes as the reply reader does with a buffered line: one at a time
// until a frame begins, then in runs of up to `run` bytes, never more than
// the reader wants. Returns every status other than kNeedMore, each with the
// frame's bytes when complete.
std::vector<std::string> feedInRuns(const std::vector<uint8_t>& bytes, size_t run) {
    FrameReader r;
    std::vector<std::string> outcomes;
    for (size_t at = 0; at < bytes.size();) {
        size_t n = r.inFrame() ? std::min({run, r.wanted(), bytes.size() - at}) : 1;
        FrameReader::Status s =
            n == 1 && !r.inFrame() ? r.push(bytes[at]) : r.pushSome(&bytes[at], n);
        at += n;
        if (s == FrameReader::Status::kNeedMore) continue;
        std::string outcome(1, static_cast<char>('0' + static_cast<int>(s)));
        if (s == FrameReader::Status::kComplete) {
            outcome.append(reinterpret_cast<const char*>(r.frame()), frameSize(r.frame()));
        }
        outcomes.push_back(outcome);
    }
    return outcomes;
}

TEST(FrameBuild, CommandWithoutParametersIsThirteenBytes) {
    auto f = built(kCommand, "001", "0", 'F');
    ASSERT_EQ(f.size(), 13u);
    const uint8_t expect[] = {STX, 'C', '0', '0', '1', '0', '0', '0', '0', '1', 'F', ETX};
    EXPECT_EQ(0, std::memcmp(f.data(), expect, sizeof expect));
    uint8_t x = 0;
    for (size_t i = 1; i <= 11; ++i) x ^= f[i];
    EXPECT_EQ(f[12], x);
    EXPECT_EQ(check(f.data()), 0);
}

TEST(FrameBuild, DataFrameCarriesNoControlByte) {
    std::string block(512, 'x');
    block[0] = 'A';
    auto f = built(kData, "005", "3", 0, block);
    ASSERT_EQ(f.size(), 524u);
    EXPECT_EQ(std::string(f.begin() + 6, f.begin() + 10), "0512");
    EXPECT_EQ(f[kOffData], 'A');
    EXPECT_EQ(f[kOffBlock], '3');
    EXPECT_EQ(check(f.data()), 0);
}

TEST(FrameBuild, ControlBytePrefixesData) {
    auto f = built(kCommand, "128", "0", 'E', "ABC         ");
    ASSERT_EQ(f.size(), 25u);
    EXPECT_EQ(std::string(f.begin() + 6, f.begin() + 10), "0013");
    EXPECT_EQ(f[kOffData], 'E');
    EXPECT_EQ(f[kOffData + 1], 'A');
}

TEST(FrameBuild, EmptyDataAndZeroControlStillCarriesOneByte) {
    auto f = built(kAnswer, "001", "0", 0);
    ASSERT_EQ(f.size(), 13u);
    EXPECT_EQ(std::string(f.begin() + 6, f.begin() + 10), "0001");
    EXPECT_EQ(f[kOffData], 0);
}

TEST(FrameBuild, HtTextIsFittedToThreeCharacters) {
    auto shortText = built(kCommand, "7", "0", 'P');
    EXPECT_EQ(std::string(shortText.begin() + 2, shortText.begin() + 5), "007");
    auto longText = built(kCommand, "1234", "0", 'P');
    EXPECT_EQ(std::string(longText.begin() + 2, longText.begin() + 5), "123");
}

TEST(FrameBuild, OversizedDataIsCutToTheStagingArea) {
    std::string big(2000, 'z');
    auto f = built(kData, "001", "0", 0, big);
    EXPECT_EQ(f.size(), kDataAreaSize + kOverhead);
    EXPECT_EQ(check(f.data()), 0);
}

TEST(FrameRead, NoiseBeforeStxIsSkipped) {
    FrameReader r;
    std::vector<uint8_t> bytes = {0x00, 0xFF, 'x', ETX};
    auto f = built(kAnswer, "005", "0", ACK);
    bytes.insert(bytes.end(), f.begin(), f.end());
    ASSERT_EQ(feed(r, bytes), FrameReader::Status::kComplete);
    EXPECT_EQ(classify(r.frame()), kind::kAck);
    EXPECT_TRUE(sameHt(r.frame(), "005"));
}

TEST(FrameRead, EveryFlippedBitIsRejected) {
    auto good = built(kData, "005", "1", 0, "HELLO.DAT   0000123");
    for (size_t byte = 1; byte < good.size(); ++byte) {
        if (byte >= kOffLength && byte < kOffData) continue;  // changes the frame's extent
        for (int bit = 0; bit < 8; ++bit) {
            auto bad = good;
            bad[byte] ^= static_cast<uint8_t>(1 << bit);
            FrameReader r;
            EXPECT_EQ(feed(r, bad), FrameReader::Status::kBadCheck) << byte << ":" << bit;
        }
    }
}

TEST(FrameRead, LengthBeyondTheReceiveBufferIsRefusedEarly) {
    FrameReader r;
    std::vector<uint8_t> header = {STX, 'D', '0', '0', '5', '0', '2', '0', '0', '0'};
    EXPECT_EQ(feed(r, header), FrameReader::Status::kTooLong);
    EXPECT_FALSE(r.inFrame());
    // The reader is ready for the next frame right away.
    auto f = built(kEnd, "005", "0", EOT);
    EXPECT_EQ(feed(r, f), FrameReader::Status::kComplete);
    EXPECT_EQ(classify(r.frame()), kind::kEot);
}

TEST(FrameRead, LargestAcceptedFrame) {
    std::vector<uint8_t> f = {STX, 'D', '0', '0', '5', '0', '1', '0', '1', '2'};
    f.insert(f.end(), kMaxReceiveData, 'q');
    f.push_back(ETX);
    f.push_back(blockCheck(f.data() + 1, f.data() + f.size()));
    FrameReader r;
    EXPECT_EQ(feed(r, f), FrameReader::Status::kComplete);
    EXPECT_EQ(lengthStrict(r.frame()), kMaxReceiveData);
}

// Taking the bytes of a frame in runs judges every frame as taking them one
// by one: noise, a bad check, a length beyond the buffer, the largest frame,
// a non-digit length, and frames right behind each other.
TEST(FrameRead, RunsOfBytesAreJudgedAsSingleBytes) {
    std::vector<uint8_t> line = {0x00, 'x', ETX};
    auto append = [&line](const std::vector<uint8_t>& f) {
        line.insert(line.end(), f.begin(), f.end());
    };
    append(built(kAnswer, "005", "3", ACK));
    auto bad = built(kData, "005", "1", 0, std::string(512, 'b'));
    bad[200] ^= 0x10;
    append(bad);
    append({STX, 'D', '0', '0', '5', '0', '2', '0', '0', '0'});
    std::vector<uint8_t> largest = {STX, 'D', '0', '0', '5', '0', '1', '0', '1', '2'};
    largest.insert(largest.end(), kMaxReceiveData, 'q');
    largest.push_back(ETX);
    largest.push_back(blockCheck(largest.data() + 1, largest.data() + largest.size()));
    append(largest);
    append({STX, 'D', '0', '0', '5', '0', '0', '0', '5', ' ', 'a', 'b', 'c', 'd', 'e', ETX, 0});
    append(built(kData, "005", "2", 0, std::string(512, 'd')));
    append(built(kEnd, "005", "0", CAN));

    const std::vector<std::string> oneByOne = feedInRuns(line, 1);
    ASSERT_EQ(oneByOne.size(), 7u);
    for (size_t run : {2u, 7u, 10u, 100u, 1024u}) EXPECT_EQ(feedInRuns(line, run), oneByOne) << run;
}

TEST(FrameRead, NonDigitLengthFailsTheCheck) {
    // "005 ": five data bytes are fetched, but the check reads the length as 0.
    std::vector<uint8_t> f = {STX, 'D', '0', '0', '5', '0', '0', '0', '5',
                              ' ', 'a', 'b', 'c', 'd', 'e', ETX, 0};
    f[16] = blockCheck(f.data() + 1, f.data() + 16);
    EXPECT_EQ(lengthLeading(f.data()), 5u);
    EXPECT_EQ(lengthStrict(f.data()), 0u);
    FrameReader r;
    EXPECT_EQ(feed(r, f), FrameReader::Status::kBadCheck);
}

TEST(FrameClassify, ReplyKinds) {
    struct Case {
        char type;
        uint8_t control;
        int kind;
    } cases[] = {
        {kAnswer, ACK, kind::kAck},     {kAnswer, NAK, kind::kNak},
        {kAnswer, 'x', kind::kUnknown}, {kData, 'x', kind::kData},
        {kEnd, EOT, kind::kEot},        {kEnd, CAN, kind::kCancel},
        {kEnd, ACK, kind::kUnknown},    {kResult, 'M', kind::kMode},
        {kResult, 'A', kind::kResultA}, {kResult, 'F', kind::kFailure},
        {kResult, 'S', kind::kSuccess}, {kResult, 'R', kind::kRandomRename},
        {kResult, 'Z', kind::kUnknown}, {kCommand, 'F', VSK_E_RECEIVE},
    };
    for (const Case& c : cases) {
        auto f = built(c.type, "001", "0", c.control);
        EXPECT_EQ(classify(f.data()), c.kind) << c.type << " " << int(c.control);
    }
}

TEST(HtNumber, ValidForms) {
    auto fieldOf = [](const char* arg) {
        static char f[4];
        field::blankFill(f, sizeof f, arg);
        return f;
    };
    EXPECT_TRUE(htValid(fieldOf("001")));
    EXPECT_TRUE(htValid(fieldOf("128")));
    EXPECT_TRUE(htValid(fieldOf("1234")));  // judged by its first three characters
    for (const char* bad : {"000", "129", "1", "12", "12a", "", "-01", " 12"}) {
        EXPECT_FALSE(htValid(fieldOf(bad))) << bad;
    }
    EXPECT_FALSE(htValid(fieldOf(nullptr)));
}

}  // namespace
}  // namespace vsk::frame

namespace vsk::field {
namespace {

TEST(Fields, BlankFillKeepsWidthMinusOneCharacters) {
    char f[13];
    blankFill(f, sizeof f, "ABC");
    EXPECT_EQ(std::string(f), "ABC         ");
    blankFill(f, sizeof f, "ABCDEFGHIJKLM");
    EXPECT_EQ(std::string(f), "ABCDEFGHIJKL");
}

TEST(Fields, TrailingBlankTrim) {
    char f[16];
    blankFill(f, sizeof f, "/tmp/dir   ");
    trimTrailingBlanks(f, sizeof f);
    EXPECT_EQ(std::string(f), "/tmp/dir");
    char blanks[8];
    blankFill(blanks, sizeof blanks, "");
    trimTrailingBlanks(blanks, sizeof blanks);
    EXPECT_EQ(std::string(blanks), "       ");
}

TEST(Fields, DecimalReading) {
    EXPECT_EQ(decimal("0001234", 7), 1234);
    EXPECT_EQ(decimal("  42abc", 7), 42);
    EXPECT_EQ(decimal("abc", 3), 0);
    EXPECT_EQ(decimal("99999999999", 11), INT32_MAX);
    char d[7];
    digits(d, 7, 512);
    EXPECT_EQ(std::string(d, 7), "0000512");
}

TEST(ResultTexts, KnownAndUnknownCodes) {
    EXPECT_STREQ(resultText(2005), "タイムアウト");
    EXPECT_STREQ(resultText(1002), "中断終了（ＨＴ側）");
    EXPECT_STREQ(resultText(6001), "システムエラー:Createile");
    EXPECT_STREQ(resultText(0), "予期せぬエラー");
    EXPECT_STREQ(resultText(1006), "予期せぬエラー");
    EXPECT_STREQ(resultText(-1), "予期せぬエラー");
}

}  // namespace
}  // namespace vsk::field
