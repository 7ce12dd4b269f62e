#include "fault.h"

#include <gtest/gtest.h>

#include "codec.h"

namespace vsk::htsim {
namespace {

Fault parsed(const std::string& text) {
    std::string error;
    auto f = parseFault(text, &error);
    EXPECT_TRUE(f.has_value()) << text << ": " << error;
    return f.value_or(Fault{});
}

std::string rejection(const std::string& text) {
    std::string error;
    EXPECT_FALSE(parseFault(text, &error).has_value()) << text;
    return error;
}

TEST(FaultParse, CountedKindsTakeTheirCountAsArgument) {
    Fault nak = parsed("nak=2@E");
    EXPECT_EQ(nak.kind, FaultKind::kNak);
    EXPECT_EQ(nak.count, 2);
    EXPECT_EQ(nak.letters, "E");
    EXPECT_EQ(parsed("nak").count, 1);
    EXPECT_EQ(parsed("badbcc").count, 1);
    EXPECT_EQ(parsed("silent").count, -1);
    EXPECT_EQ(parsed("silent=3").count, 3);
    EXPECT_NE(rejection("nak*2").find("=N"), std::string::npos);
}

TEST(FaultParse, ArgumentsCountsAndLetters) {
    Fault other = parsed("otherht=9*2@FH");
    EXPECT_EQ(other.kind, FaultKind::kOtherHt);
    EXPECT_EQ(other.arg, 9);
    EXPECT_EQ(other.count, 2);
    EXPECT_TRUE(other.appliesTo('F'));
    EXPECT_TRUE(other.appliesTo('H'));
    EXPECT_FALSE(other.appliesTo('P'));
    EXPECT_TRUE(parsed("otherht").appliesTo('P'));

    EXPECT_EQ(parsed("result=M").arg, 'M');
    EXPECT_EQ(parsed("noise").arg, 8);
    EXPECT_EQ(parsed("longlen").arg, 2000);
    EXPECT_EQ(parsed("longlen=1500").arg, 1500);
    EXPECT_EQ(parsed("split=3").arg, 3);
    EXPECT_EQ(parsed("repeat").frame, 0);
    EXPECT_EQ(parsed("repeat").count, 1);
}

TEST(FaultParse, CancelWithAFramePositionIsADifferentFault) {
    EXPECT_EQ(parsed("cancel").kind, FaultKind::kCancel);
    Fault at = parsed("cancel=2@F");
    EXPECT_EQ(at.kind, FaultKind::kCancelAt);
    EXPECT_EQ(at.frame, 2);
    EXPECT_EQ(at.count, 1);
}

TEST(FaultParse, RejectsMalformedFaults) {
    rejection("");
    rejection("bogus");
    rejection("split");      // needs an argument
    rejection("split=0");    // below the range
    rejection("split=29");   // more entries than one frame can carry
    rejection("split=3*2");  // structural faults take no count
    rejection("result=X");
    rejection("result");
    rejection("nak=x");
    rejection("nak=-1");
    rejection("otherht=129");
    rejection("delay=5*0");
    rejection("nak@");
    rejection("nak@e");
    EXPECT_NE(rejection("frob=1").find("frob"), std::string::npos);
}

TEST(FaultParse, TransferPositionsNameAFrameOfAFileOrAHeader) {
    Fault any = parsed("blknak=3");
    EXPECT_EQ(any.kind, FaultKind::kBlockNak);
    EXPECT_EQ(any.file, kAnyFile);
    EXPECT_EQ(any.frame, 3);
    EXPECT_EQ(any.count, 1);
    Fault one = parsed("blksilent=2:5*3@WV");
    EXPECT_EQ(one.file, 2);
    EXPECT_EQ(one.frame, 5);
    EXPECT_EQ(one.count, 3);
    EXPECT_EQ(parsed("cancel=1:h").frame, kHeaderFrame);
    EXPECT_EQ(parsed("cancel=1:h").kind, FaultKind::kCancelAt);

    Fault r = parsed("result=F,h");
    EXPECT_EQ(r.kind, FaultKind::kResultAt);
    EXPECT_EQ(r.arg, 'F');
    EXPECT_EQ(r.frame, kHeaderFrame);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(parsed("result=M,0:7").frame, 7);
    EXPECT_EQ(parsed("result=M").kind, FaultKind::kResult);

    Fault head = parsed("rehead=2");
    EXPECT_EQ(head.file, 2);
    EXPECT_EQ(head.frame, kHeaderFrame);
    EXPECT_EQ(parsed("rehead").file, kAnyFile);
    EXPECT_EQ(parsed("badname").text, "../EVIL.TXT");
    EXPECT_EQ(parsed("badname=/etc/passwd").text, "/etc/passwd");
    EXPECT_EQ(parsed("short=10").arg, 10);
    EXPECT_EQ(parsed("overlong").arg, 2000000);
    EXPECT_EQ(parsed("manyfiles=2147483647").arg, 2147483647);

    for (const char* bad :
         {"blknak", "blknak=x", "blknak=1:", "blknak=:1", "blknak=h:1", "result=F,", "result=F,x",
          "result=FF", "hangup=1*2", "eot=1", "badname=THIRTEENBYTES", "short=0", "rehead=h"})
        rejection(bad);
}

TEST(FaultParse, NoiseWithoutEndListingsWithoutEndAndLateAcknowledgements) {
    Fault babble = parsed("babble");
    EXPECT_EQ(babble.kind, FaultKind::kBabble);
    EXPECT_EQ(babble.arg, 1000);
    EXPECT_EQ(babble.count, -1);
    EXPECT_EQ(parsed("babble=250").arg, 250);
    // On the line, not on a command: letters would silently do nothing.
    EXPECT_NE(rejection("babble@F").find("@LETTERS"), std::string::npos);

    Fault endless = parsed("endless@F");
    EXPECT_EQ(endless.kind, FaultKind::kEndless);
    EXPECT_TRUE(endless.appliesTo('F'));

    Fault late = parsed("lateack=2,1200@D");
    EXPECT_EQ(late.kind, FaultKind::kLateAck);
    EXPECT_EQ(late.file, kAnyFile);
    EXPECT_EQ(late.frame, 2);
    EXPECT_EQ(late.arg, 1200);
    EXPECT_EQ(late.count, 1);
    Fault inBatch = parsed("lateack=1:3,500*2");
    EXPECT_EQ(inBatch.file, 1);
    EXPECT_EQ(inBatch.frame, 3);
    EXPECT_EQ(inBatch.count, 2);

    Fault cancelAfter = parsed("canafter=1:3@W");
    EXPECT_EQ(cancelAfter.kind, FaultKind::kCancelAfter);
    EXPECT_EQ(cancelAfter.file, 1);
    EXPECT_EQ(cancelAfter.frame, 3);
    EXPECT_EQ(cancelAfter.count, 1);
    EXPECT_EQ(cancelAfter.arg, 0);
    EXPECT_EQ(parsed("canafter=3,250@D").arg, 250);

    for (const char* bad :
         {"babble=0", "babble=x", "babble*2", "endless=1", "lateack", "lateack=2", "lateack=2,",
          "lateack=,500", "lateack=2,0", "lateack=2,60001", "lateack=x,5", "canafter", "canafter=x",
          "canafter=3,", "canafter=3,60001"})
        rejection(bad);
}

TEST(FaultSet, FiringUsesUpCountsAndHonoursLetters) {
    FaultSet set({parsed("nak=2@E"), parsed("result=F@E")});
    EXPECT_EQ(set.fire(FaultKind::kNak, 'P'), nullptr);
    EXPECT_NE(set.fire(FaultKind::kNak, 'E'), nullptr);
    EXPECT_NE(set.fire(FaultKind::kNak, 'E'), nullptr);
    EXPECT_EQ(set.fire(FaultKind::kNak, 'E'), nullptr);
    // Unlimited faults never run out.
    for (int i = 0; i < 5; ++i) EXPECT_NE(set.fire(FaultKind::kResult, 'E'), nullptr);
}

TEST(FaultSet, PositionedFaultsFireOnlyAtTheirFrame) {
    FaultSet set({parsed("repeat=2")});
    EXPECT_EQ(set.fireAt(FaultKind::kRepeat, 'F', 1), nullptr);
    EXPECT_NE(set.fireAt(FaultKind::kRepeat, 'F', 2), nullptr);
    EXPECT_EQ(set.fireAt(FaultKind::kRepeat, 'F', 2), nullptr);
}

TEST(FaultShape, ForeignCopiesCarryAnotherHtNumberAndAValidCheck) {
    Bytes frame = answerFrame(5, '0', frame::ACK);
    FaultSet set({parsed("otherht*1")});
    auto frames = set.shape(frame, 'P', 5).frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(std::string(frames[0].begin() + 2, frames[0].begin() + 5), "006");
    EXPECT_TRUE(checkMatches(frames[0].data(), frames[0].size()));
    EXPECT_EQ(frames[1], frame);
    EXPECT_EQ(set.shape(frame, 'P', 5).frames().size(), 1u);  // spent

    FaultSet wrap({parsed("foreign")});
    auto only = wrap.shape(answerFrame(128, '0', frame::ACK), 'P', 128).frames();
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(std::string(only[0].begin() + 2, only[0].begin() + 5), "001");
}

TEST(FaultShape, LongLengthFramesAnnounceAndCarryTheLength) {
    Bytes frame = dataFrame(5, '0', std::string("0031048576"));
    Bytes longer = withLength(frame, 2000);
    ASSERT_EQ(longer.size(), 2012u);
    EXPECT_EQ(std::string(longer.begin() + 6, longer.begin() + 10), "2000");
    EXPECT_EQ(std::string(longer.begin() + 10, longer.begin() + 20), "0031048576");
    EXPECT_EQ(longer[2010], frame::ETX);
    EXPECT_TRUE(checkMatches(longer.data(), longer.size()));
}

TEST(FaultShape, NoiseNeverContainsAStartByte) {
    Bytes noise = noiseBytes(100);
    EXPECT_EQ(noise.size(), 100u);
    for (uint8_t b : noise) EXPECT_NE(b, frame::STX);
}

TEST(FaultShape, BadCheckCorruptsOnlyTheCheckByte) {
    Bytes frame = answerFrame(5, '0', frame::ACK);
    FaultSet set({parsed("badbcc")});
    Bytes bad = set.shape(frame, 'P', 5).frames().at(0);
    EXPECT_FALSE(checkMatches(bad.data(), bad.size()));
    EXPECT_TRUE(std::equal(frame.begin(), frame.end() - 1, bad.begin()));
}

}  // namespace
}  // namespace vsk::htsim
