// Record base: stream form of pieces, CONTINUE gathering and splitting, BOF, EOF.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "biff/bof.h"
#include "biff/eofrecord.h"
#include "biff/record.h"

#include "biff_testutil.h"

using Biff::Record;

using namespace biffTest;

namespace {

Record plainRecord(unsigned short code, unsigned int size)
{
    Record r;
    r.code = code;
    r.data.resize(size);
    for (unsigned int i = 0; i < size; ++i)
        r.data[i] = static_cast<char>(i * 7 + 1);
    r.dataSize = size;
    r.recordSize = Record::StreamSize(size);
    return r;
}

Bytes filled(std::size_t n, unsigned char seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>(seed + i);
    return b;
}

} // namespace

TEST(BiffRecord, EofAndBofBytes)
{
    Biff::EOFRecord eof;
    EXPECT_EQ(writeExact(eof), (Bytes{0x0A, 0x00, 0x00, 0x00}));

    Biff::BOF bof;
    bof.version = 0x0600;
    bof.type = 0x0005;
    bof.buildIdentifier = 0x19A0;
    bof.buildYear = 0x07CD;
    bof.fileHistoryFlags = 0xC0C9DEAD;
    bof.lowestVersion = 0x01020306;
    const Bytes written = writeExact(bof);
    EXPECT_EQ(written, (Bytes{0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x05, 0x00, 0xA0, 0x19, 0xCD, 0x07, 0xAD, 0xDE,
                              0xC9, 0xC0, 0x06, 0x03, 0x02, 0x01}));
    // A longer stream record is consumed whole, but written back in its
    // fixed size; a shorter one is refused.
    Bytes payload(written.begin() + 4, written.end());
    payload.push_back(0x77);
    payload.push_back(0x88);
    Bytes longer;
    appendPiece(longer, 0x0809, payload);
    Biff::BOF back;
    EXPECT_EQ(readExact(back, longer), 22u);
    EXPECT_EQ(writeExact(back), written);
    Bytes shorter;
    appendPiece(shorter, 0x0809, Bytes(payload.begin(), payload.begin() + 8));
    EXPECT_EQ(readExact(back, shorter), 0u);
}

TEST(BiffRecord, SizeMatchesWriteAndReadRestoresDataAcrossSizes)
{
    const unsigned int sizes[] = {0, 1, 100, 8223, 8224, 8225, 16447, 16448, 16449, 3 * 8224, 3 * 8224 + 1};
    for (unsigned int size : sizes) {
        SCOPED_TRACE(size);
        Record r = plainRecord(0x00FC, size);
        const Bytes stream = writeExact(r);
        EXPECT_EQ(stream.size(), Record::StreamSize(size));
        for (std::size_t at = 0; at < stream.size(); at += 8228) {
            const std::size_t piece = std::min<std::size_t>(8224, stream.size() - at - 4);
            EXPECT_EQ((Bytes(stream.begin() + at, stream.begin() + at + 4)),
                      (Bytes{static_cast<unsigned char>(at ? 0x3C : 0xFC), 0x00, static_cast<unsigned char>(piece),
                             static_cast<unsigned char>(piece >> 8)}));
        }

        Record back;
        EXPECT_EQ(readExact(back, stream), stream.size());
        EXPECT_EQ(back.dataSize, size);
        EXPECT_EQ(back.data, r.data);
        const std::size_t pieces = size == 0 ? 1 : (size - 1) / 8224 + 1;
        ASSERT_EQ(back.continueOffsets.size(), pieces - 1);
        for (std::size_t i = 0; i < back.continueOffsets.size(); ++i)
            EXPECT_EQ(back.continueOffsets[i], 8224u * (i + 1));
        EXPECT_EQ(writeExact(back), stream);
    }
}

TEST(BiffRecord, GathersContinuePiecesAndWritesThemBack)
{
    Bytes stream;
    appendPiece(stream, 0x00FC, filled(30, 1));
    appendPiece(stream, 0x003C, filled(10, 50));
    appendPiece(stream, 0x003C, filled(20, 90));
    appendPiece(stream, 0x000A, Bytes());

    Record r;
    EXPECT_EQ(readExact(r, stream), 30u + 10u + 20u + 12u);
    EXPECT_EQ(r.dataSize, 60u);
    EXPECT_EQ(r.recordSize, 72u);
    EXPECT_EQ(r.continueOffsets, (std::vector<unsigned int>{30, 40}));
    EXPECT_EQ(writeExact(r), Bytes(stream.begin(), stream.begin() + 72));

    // Empty CONTINUE pieces are kept as pieces.
    Bytes withEmpty;
    appendPiece(withEmpty, 0x0001, filled(3, 1));
    appendPiece(withEmpty, 0x003C, Bytes());
    appendPiece(withEmpty, 0x003C, filled(2, 9));
    Record e;
    EXPECT_EQ(readExact(e, withEmpty), withEmpty.size());
    EXPECT_EQ(e.continueOffsets, (std::vector<unsigned int>{3, 3}));
    EXPECT_EQ(writeExact(e), withEmpty);
}

TEST(BiffRecord, OversizedPiecesAreWrittenBackInFixedPieces)
{
    // Longer pieces than a stream piece may carry are read, and RecordSize()
    // is then what Write emits, not what the stream held.
    Bytes stream;
    appendPiece(stream, 0x0123, filled(9000, 3));
    appendPiece(stream, 0x003C, filled(10, 5));
    Record r;
    EXPECT_EQ(readExact(r, stream), 9014u + 4u);
    EXPECT_EQ(r.dataSize, 9010u);
    EXPECT_TRUE(r.continueOffsets.empty());
    EXPECT_EQ(r.RecordSize(), Record::StreamSize(9010));
    const Bytes out = writeExact(r);
    Record back;
    EXPECT_EQ(readExact(back, out), out.size());
    EXPECT_EQ(back.data, r.data);
}

TEST(BiffRecord, HostileStreamsFailCleanly)
{
    Record r;
    EXPECT_EQ(readExact(r, Bytes{}), 0u);
    EXPECT_EQ(readExact(r, Bytes{0x0A, 0x00, 0x00}), 0u);
    EXPECT_EQ(r.Read(nullptr, 100), 0u);

    // Length beyond the data.
    EXPECT_EQ(readExact(r, Bytes{0x01, 0x00, 0x05, 0x00, 1, 2, 3, 4}), 0u);

    // The last record of a range: no look-ahead past it.
    EXPECT_EQ(readExact(r, Bytes{0x0A, 0x00, 0x00, 0x00}), 4u);
    // One stray byte after it cannot be a CONTINUE identifier.
    EXPECT_EQ(readExact(r, Bytes{0x0A, 0x00, 0x00, 0x00, 0x3C}), 4u);

    // A CONTINUE header cut off, and a CONTINUE claiming more than there is.
    EXPECT_EQ(readExact(r, Bytes{0x01, 0x00, 0x01, 0x00, 7, 0x3C, 0x00, 0x02}), 0u);
    EXPECT_EQ(readExact(r, Bytes{0x01, 0x00, 0x01, 0x00, 7, 0x3C, 0x00, 0x03, 0x00, 1, 2}), 0u);

    // A maximal length field on a short buffer.
    EXPECT_EQ(readExact(r, Bytes{0x01, 0x00, 0xFF, 0xFF, 0, 0, 0}), 0u);
}

TEST(BiffRecord, PlannedOffsetsOutOfOrderOrRangeAreRefused)
{
    Record r = plainRecord(0x00FC, 100);
    std::vector<char> out(200);

    r.continueOffsets = {50, 40};
    EXPECT_EQ(r.Write(out.data()), 0u);
    r.continueOffsets = {50, 101};
    EXPECT_EQ(r.Write(out.data()), 0u);

    Record big = plainRecord(0x00FC, 9000);
    std::vector<char> bigOut(10000);
    big.continueOffsets = {8225};
    EXPECT_EQ(big.Write(bigOut.data()), 0u);
    big.continueOffsets = {10};
    EXPECT_EQ(big.Write(bigOut.data()), 0u) << "last piece of 8990 bytes";
    big.continueOffsets = {8224};
    EXPECT_EQ(big.Write(bigOut.data()), 9000u + 8u);

    // A stale dataSize larger than the data is not copied from beyond it.
    Record stale = plainRecord(0x0001, 10);
    stale.dataSize = 20;
    EXPECT_EQ(stale.Write(out.data()), 0u);
}
