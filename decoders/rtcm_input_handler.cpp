// The RTCM version 2 decoder: byte roll, preamble search, word parity, header
// checks, and the accounting of the bytes it cannot use.
#include "decoders/rtcm_input_handler.h"

#include <algorithm>
#include <bit>

namespace TolvarRT {

namespace {

constexpr std::uint8_t kIgnored = 0x80;
constexpr std::uint8_t kPayloadBits = 0x3F;
static_assert(kIgnored >> 7 == 1 && kPayloadBits >> 7 == 0, "the intake moves the fill on by bit 7 of the entry");

// A byte carries six payload bits only when its top bits are 01; they are sent
// least significant first, so the entry holds them reversed.
constexpr std::array<std::uint8_t, 256> kIntake = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        if ((byte & 0xC0) != 0x40) {
            table[byte] = kIgnored;
            continue;
        }
        std::uint8_t entry = 0;
        for (unsigned bit = 0; bit < 6; ++bit)
            if (byte & (1u << bit))
                entry |= std::uint8_t(0x20u >> bit);
        table[byte] = entry;
    }
    return table;
}();

constexpr std::uint8_t kPreamble = 0x66;
constexpr std::uint8_t kInvertedPreamble = 0x99;

// For 13 bits (one entry, the next, and the top bit of the one after), bit k
// is set when the eight bits from bit k of the first entry are a preamble of
// either polarity: the six candidates that start in that entry at one look.
constexpr std::array<std::uint8_t, 8192> kPreambleAt = [] {
    std::array<std::uint8_t, 8192> table{};
    for (unsigned bits13 = 0; bits13 < 8192; ++bits13)
        for (unsigned k = 0; k < 6; ++k) {
            const unsigned eight = (bits13 >> (5 - k)) & 0xFF;
            if (eight == kPreamble || eight == kInvertedPreamble)
                table[bits13] |= std::uint8_t(1u << k);
        }
    return table;
}();

constexpr std::uint32_t kDataMask = 0xFFFFFF;
// Parity bits that take D29* (D25, D27, D30) and D30* (D26, D28, D29).
constexpr unsigned kD29Terms = 0x29;
constexpr unsigned kD30Terms = 0x16;
// 6000 x 0.6 s is the hour after which a modified Z-count cannot lie.
constexpr unsigned kZCountLimit = 6000;

}  // namespace

// A batch lands behind the entries still undecided: at most a longest frame
// in progress (33 words) and the search's look-ahead of two entries.
static_assert(CRTCMInputHandler::kIntakeBatch + (CRTCMInputHandler::kMaxWords * 30 + 5) / 6 + 3 <
              CRTCMInputHandler::kRingEntries);

CRTCMInputHandler::CRTCMInputHandler(CLogPipe* logPipe) : log(logPipe)
{
    Reset();
}

CRTCMInputHandler::~CRTCMInputHandler()
{
    Unsubscribe();
}

void CRTCMInputHandler::SetEnabled(bool flag)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    enabled = flag;
}

bool CRTCMInputHandler::IsEnabled() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return enabled;
}

void CRTCMInputHandler::SetName(const std::string& newName)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    name = newName;
}

void CRTCMInputHandler::Reset()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    ClearDecoding();
    resetInBatch = decodingBatch;
}

void CRTCMInputHandler::ClearDecoding()
{
    fill = 0;
    searchPos = 0;
    wordPos = 0;
    frameStart = 0;
    state = kSearching;
    storedWords = 0;
}

unsigned CRTCMInputHandler::WordParity(std::uint32_t data, unsigned prevParity)
{
    static constexpr std::uint32_t kMasks[6] = {0xEC7CD2, 0x763E69, 0xBB1F34, 0x5D8F9A, 0xAEC7CD, 0x2DEA27};
    unsigned parity = 0;
    for (const std::uint32_t mask : kMasks)
        parity = (parity << 1) | (unsigned(std::popcount(data & mask)) & 1u);
    if (prevParity & 1u)
        parity ^= kD30Terms;
    if (prevParity & 2u)
        parity ^= kD29Terms;
    return parity;
}

bool CRTCMInputHandler::ParseHeader(const std::uint8_t* words, sRTCMHeader& parsed)
{
    parsed.preamble = words[0];
    const unsigned type = words[1] >> 2;
    parsed.messageType = std::uint8_t(type == 0 ? 64 : type);
    parsed.stationId = std::uint16_t(((words[1] & 0x03u) << 8) | words[2]);
    parsed.zCount = std::uint16_t((unsigned(words[3]) << 5) | (words[4] >> 3));
    parsed.sequence = words[4] & 0x07u;
    parsed.dataWords = std::uint8_t(words[5] >> 3);
    parsed.health = words[5] & 0x07u;
    return parsed.preamble == kPreamble && parsed.zCount < kZCountLimit;
}

int CRTCMInputHandler::OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                               const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (length == 0)
        return 0;
    const bool gap = firstIndex != nextIndex;
    // Held frames are decided first: the strong decoders have taken this
    // chunk already. After a gap, or with decoding off, nothing more can be
    // learnt about them.
    gate.Settle(Cover(), gap || !enabled ? Gate::kAll : 0, Lost(), PublishHeld());
    // Bytes from a stream we did not follow to here cannot finish our frame.
    if (gap) {
        DropPending();
        gate.RestartAt(firstIndex);
        nextIndex = firstIndex;
    }
    if (!enabled) {
        DropPending();
        ReportLostUpTo(firstIndex + length);
        nextIndex = firstIndex + length;
        return 0;
    }
    // Bytes are taken into the ring a batch at a time and decoded together:
    // the decoding does not depend on how the bits arrive, only the span limit
    // of a frame in progress does, and a batch never runs past that limit.
    for (std::uint32_t i = 0; i < length;) {
        const std::uint32_t index = firstIndex + i;
        while (state != kSearching && index - byteIndex[frameStart / 6] >= kMaxFrameSpan) {
            AbandonFrame();
            Decode();
        }
        const std::uint32_t batchStart = i;
        std::uint32_t end = i + std::min(length - i, kIntakeBatch);
        if (state != kSearching)
            end = std::min(end, i + (byteIndex[frameStart / 6] + kMaxFrameSpan - index));
        // Every byte is stored; only those carrying payload bits move the fill
        // on. An ignored byte leaves zero bits in the free entry at fill.
        // The stamp is copied: a store to the ring might otherwise change it.
        const TimeStamp stamp = timeStamp;
        std::uint8_t* const ringBits = bits.data();
        std::uint32_t* const ringIndex = byteIndex.data();
        TimeStamp* const ringStamp = byteStamp.data();
        unsigned next = fill;
        for (; i < end; ++i) {
            const std::uint8_t entry = kIntake[data[i]];
            const unsigned at = next & kRingMask;
            ringBits[at] = entry & kPayloadBits;
            ringIndex[at] = firstIndex + i;
            ringStamp[at] = stamp;
            next += (entry >> 7) ^ 1u;
        }
        fill = std::uint16_t(next & kRingMask);
        decodingBatch = true;
        Decode();
        decodingBatch = false;
        if (resetInBatch) {
            // The bytes after the published frame are decoded afresh.
            resetInBatch = false;
            const std::int32_t restart = std::int32_t(gate.Placed() - firstIndex);
            i = std::uint32_t(std::clamp<std::int32_t>(restart, std::int32_t(batchStart), std::int32_t(end)));
        }
    }
    nextIndex = firstIndex + length;
    while (state != kSearching && PublishHeldFrame())
        Decode();
    ReportLostUpTo(FirstUnplacedIndex());
    return 0;
}

void CRTCMInputHandler::Decode()
{
    for (;;) {
        if (state == kSearching && !FindPreamble())
            return;
        if (state == kFirstWord) {
            if (Available(wordPos) < kWordBits)
                return;
            storedWords = 0;
            if (!DecodeWord(true)) {
                AbandonFrame();
                continue;
            }
            state = kSecondWord;
        }
        if (state == kSecondWord) {
            if (Available(wordPos) < kWordBits)
                return;
            if (!DecodeWord(false) || !ParseHeader(wordStore.data(), header)) {
                AbandonFrame();
                continue;
            }
            wordsToRead = header.dataWords;
            wordsRead = 0;
            state = kDataWords;
        }
        bool failed = false;
        while (wordsRead < wordsToRead) {
            if (Available(wordPos) < kWordBits)
                return;
            if (!DecodeWord(false)) {
                failed = true;
                break;
            }
            ++wordsRead;
        }
        if (failed)
            AbandonFrame();
        else
            CompleteFrame();
    }
}

bool CRTCMInputHandler::FindPreamble()
{
    // Candidates are looked at an entry at a time, once the two entries after
    // theirs are in; the three entries roll through an 18-bit window.
    unsigned entry = searchPos / 6u;
    unsigned skip = searchPos - entry * 6u;
    const unsigned waiting = (fill - entry) & kRingMask;
    if (waiting < 3)
        return false;
    const unsigned lastEntry = entry + waiting - 3;
    unsigned window =
        (unsigned(bits[entry]) << 12) | (unsigned(bits[(entry + 1) & kRingMask]) << 6) | bits[(entry + 2) & kRingMask];
    for (;;) {
        const unsigned bits13 = window >> 5;
        const unsigned hits = unsigned(kPreambleAt[bits13]) >> skip;
        if (hits != 0) {
            const unsigned offset = skip + unsigned(std::countr_zero(hits));
            const unsigned eight = (bits13 >> (5 - offset)) & 0xFF;
            // The polarity stands for the unknown D30* of the word before.
            prevParity = eight == kInvertedPreamble ? 1 : 0;
            frameStart = std::uint16_t((entry & kRingMask) * 6u + offset);
            wordPos = frameStart;
            searchPos = Advance(frameStart, 1);
            state = kFirstWord;
            return true;
        }
        if (entry == lastEntry) {
            searchPos = std::uint16_t(((entry + 1) & kRingMask) * 6u);
            return false;
        }
        ++entry;
        skip = 0;
        window = ((window << 6) | bits[(entry + 2) & kRingMask]) & 0x3FFFFu;
    }
}

bool CRTCMInputHandler::DecodeWord(bool firstWord)
{
    // The 30 bits lie in five entries, or six when they start inside one.
    const unsigned entry = wordPos / 6u;
    const unsigned skip = wordPos - entry * 6u;
    std::uint64_t gathered = 0;
    for (unsigned k = 0; k < 6; ++k)
        gathered = (gathered << 6) | bits[(entry + k) & kRingMask];
    const auto word = std::uint32_t((gathered >> (6 - skip)) & 0x3FFFFFFFu);
    wordPos = Advance(wordPos, kWordBits);
    std::uint32_t data = word >> 6;
    if (prevParity & 1u)
        data ^= kDataMask;
    // A header announces at most 31 data words, so this never refuses.
    if (storedWords >= kMaxWords)
        return false;
    std::uint8_t* stored = &wordStore[storedWords * 3];
    stored[0] = std::uint8_t(data >> 16);
    stored[1] = std::uint8_t(data >> 8);
    stored[2] = std::uint8_t(data);
    ++storedWords;
    const unsigned rxParity = std::uint8_t(word & 0x3F);
    const unsigned computed = WordParity(data, prevParity);
    if (computed == rxParity) {
        prevParity = std::uint8_t(computed & 3u);
        return true;
    }
    // The first word's D29* is unknown: the other value gets its chance.
    const unsigned otherD29 = computed ^ kD29Terms;
    prevParity = std::uint8_t(otherD29 & 3u);
    return firstWord && otherD29 == rxParity;
}

bool CRTCMInputHandler::PublishHeldFrame()
{
    // The frame in progress is given up only on evidence that is not parity:
    // its words have passed at least as many checks as those of any frame
    // wholly inside it. A base station keeps its id, so a frame in progress
    // from another station with a frame of the last one inside it is a false
    // header reading on through the real words.
    if (state != kDataWords || !stationKnown || header.stationId == lastStation)
        return false;
    const unsigned available = Available(frameStart);
    const std::uint32_t startByte = byteIndex[frameStart / 6u];
    // Inner frames ending within the bits seen at the last look were turned down then.
    const unsigned lookedBefore = startByte == lookedByte && frameStart == lookedBit ? lookedBits : 0;
    lookedByte = startByte;
    lookedBit = frameStart;
    lookedBits = std::uint16_t(available);
    if (available < 1 + 2 * kWordBits)
        return false;

    // Inner frames are read with the decoder's own word reading; what it
    // holds of the frame in progress is put back unless one is taken.
    const std::uint16_t heldWordPos = wordPos;
    const std::uint8_t heldParity = prevParity;
    const unsigned heldWords = storedWords;
    const auto heldStore = wordStore;
    sRTCMHeader inner;
    // Preamble candidates an entry at a time, as the search does; the last
    // that leaves room for two words starts at offset available - 60.
    const unsigned lastOffset = available - 2 * kWordBits;
    for (unsigned offset = 1; offset <= lastOffset;) {
        const unsigned position = Advance(frameStart, offset);
        const unsigned entry = position / 6u;
        const unsigned skip = position - entry * 6u;
        const unsigned bits13 = (unsigned(bits[entry]) << 7) | (unsigned(bits[(entry + 1) & kRingMask]) << 1) |
                                (bits[(entry + 2) & kRingMask] >> 5);
        unsigned hits = unsigned(kPreambleAt[bits13]) >> skip;
        const unsigned stepped = 6 - skip;
        for (; hits != 0; hits &= hits - 1) {
            const unsigned at = offset + unsigned(std::countr_zero(hits));
            if (at > lastOffset)
                break;
            const unsigned start = Advance(frameStart, at);
            // The polarity stands for the unknown D30* of the word before.
            prevParity = ((bits13 >> (5 - skip - (at - offset))) & 0xFF) == kInvertedPreamble ? 1 : 0;
            wordPos = std::uint16_t(start);
            storedWords = 0;
            if (!DecodeWord(true) || !DecodeWord(false) || !ParseHeader(wordStore.data(), inner) ||
                inner.stationId != lastStation)
                continue;
            const unsigned end = at + (2u + inner.dataWords) * kWordBits;
            if (end <= lookedBefore || end > available)
                continue;
            unsigned good = 0;
            while (good < inner.dataWords && DecodeWord(false))
                ++good;
            if (good < inner.dataWords)
                continue;
            header = inner;
            wordsToRead = inner.dataWords;
            frameStart = std::uint16_t(start);
            CompleteFrame();
            return true;
        }
        offset += stepped;
    }
    wordPos = heldWordPos;
    prevParity = heldParity;
    storedWords = heldWords;
    wordStore = heldStore;
    return false;
}

void CRTCMInputHandler::AbandonFrame()
{
    // The next candidate is the bit after the rejected preamble's first; it
    // and everything after it are still in the ring.
    searchPos = Advance(frameStart, 1);
    state = kSearching;
    storedWords = 0;
}

void CRTCMInputHandler::CompleteFrame()
{
    const unsigned lastEntry = Advance(wordPos, kRingBits - 1) / 6u;
    const TimeStamp stamp = byteStamp[lastEntry];
    const std::uint32_t first = byteIndex[frameStart / 6u];
    const std::uint32_t count = byteIndex[lastEntry] + 1 - first;
    // A frame may share its first byte with the frame before.
    ReportLostUpTo(first);
    searchPos = wordPos;
    state = kSearching;
    const unsigned storedBytes = storedWords * 3;
    storedWords = 0;

    // The parity of two header words is a weak check: a frame of them alone
    // inside a packet or an RTCM v3 frame is a coincidence. A frame with data
    // words has passed six parity bits more per word and is published at
    // once, unless one found before it is still held.
    CFrameCover* cover = Cover();
    const Gate::eVerdict verdict =
        wordsToRead > 0 && !gate.Holding() ? Gate::eVerdict::Clear : gate.Weigh(cover, first, count);
    switch (verdict) {
    case Gate::eVerdict::Clear:
        gate.Publishing(cover, first, count, Lost());
        PublishFrame(wordStore.data(), first, count, stamp);
        break;
    case Gate::eVerdict::Covered: break;
    case Gate::eVerdict::Open: {
        Gate::sFrame& held = gate.Hold(cover, first, count, stamp, Lost(), PublishHeld());
        std::copy_n(wordStore.data(), storedBytes, held.bytes.data());
        held.length = std::uint16_t(storedBytes);
        break;
    }
    }
}

void CRTCMInputHandler::PublishFrame(const std::uint8_t* words, std::uint32_t first, std::uint32_t count,
                                     const TimeStamp& stamp)
{
    sRTCMHeader published;
    ParseHeader(words, published);
    publishedSpan = {first, count};
    stationKnown = true;
    lastStation = published.stationId;
    const unsigned type = published.messageType;
    const std::uint16_t dataWords = published.dataWords;
    if (log.Wants(kLogBasic))
        log.LogBasic("%s Receive RTCM Frame Length %d, Type %d, Time %0.3f", name.c_str(), int(dataWords), int(type),
                     SecondsSinceStart(stamp));
    log.HexDump("RTCM Data =", words, (2u + dataWords) * 3u);
    Publish([&](IIncommingRTCMPipe& subscriber) { subscriber.OnRTCMFrame(type, words, dataWords, stamp); });
}

std::uint32_t CRTCMInputHandler::FirstUnplacedIndex() const
{
    if (state != kSearching)
        return byteIndex[frameStart / 6u];
    if (Available(searchPos) > 0)
        return byteIndex[searchPos / 6u];
    return nextIndex;
}

void CRTCMInputHandler::ReportLostUpTo(std::uint32_t index)
{
    gate.LostUpTo(index, Lost());
}

void CRTCMInputHandler::DropPending()
{
    ReportLostUpTo(nextIndex);
    ClearDecoding();
}

}  // namespace TolvarRT
