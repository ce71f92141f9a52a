// The pipes between producers and consumers of the real-time layers: a frame
// travels as one synchronous call (type, borrowed bytes, length, status, time
// stamp); nothing is queued and there is no frame object.
//
// Bytes handed to a consumer are borrowed for the duration of the call; a
// consumer copies what it keeps. Every call runs on the producer's thread.
// Operation order within each interface is fixed.
#pragma once

#include <cstdint>

#include "core/time_base.h"

namespace TolvarRT {

class CFrameCover;

// The class under which the statistics file a received frame.
enum FrameClass : std::uint16_t {
    kFrameClassCMR = 1,
    kFrameClassRTCM2 = 2,
    kFrameClassSendTo = 3,
    kFrameClassNMEA = 4,
    kFrameClassRTCM3 = 5,
    kFrameClassCMRW = 6,
    kFrameClassATS = 7,
};

// The parsed position that travels with GGA and GGK sentences.
struct sNMEAPosition;

// Raw bytes from a port, published by the byte pipe on the port's reader thread.
class IIncomingBytePipe {
public:
    // length is never 0; firstIndex is the running index of data[0] in the
    // port's byte stream (0 for the first byte ever read, wrapping at 2^32);
    // timeStamp is the chunk's. The result is ignored.
    virtual int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                        const TimeStamp& timeStamp) = 0;
    // Whether every frame it publishes has passed a strong check (a CRC, a
    // checksum and an end byte): such a decoder takes each chunk before the
    // others and claims its frames on the pipe's frame cover.
    virtual bool ChecksFramesStrongly() const { return false; }

protected:
    ~IIncomingBytePipe() = default;
};

// The back channel from a byte-pipe subscriber to the byte pipe.
class ILostBytePipe {
public:
    // The subscriber cannot use count bytes from running index firstIndex.
    virtual int MarkLost(std::uint32_t firstIndex, std::uint32_t count) = 0;
    // Writes bytes out through the pipe's port; false when no port is open.
    virtual bool Send(const std::uint8_t* data, std::uint32_t length) = 0;
    // Where the frames of the pipe's strongly checked decoders lie; null
    // when the pipe keeps no such record (then no frame is held back).
    virtual CFrameCover* FrameCover() { return nullptr; }

protected:
    ~ILostBytePipe() = default;
};

// One received data-collector packet with a good checksum and end byte.
class IIncomingDCPipe {
public:
    virtual void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                          const TimeStamp& timeStamp) = 0;

protected:
    ~IIncomingDCPipe() = default;
};

// The back channel of IIncomingDCPipe: frame and write one packet.
class IOutgoingDCPipe {
public:
    // True when the port accepted the bytes.
    virtual bool SendPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length,
                            std::uint8_t status) = 0;

protected:
    ~IOutgoingDCPipe() = default;
};

// Decoded CMR traffic, from received packets or the fake CMR generator.
class IIncommingCMRPipe {
public:
    // type 0..7: bits 5..7 of the second data byte; packet type 0x94 is type 5.
    virtual void OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                            const TimeStamp& timeStamp) = 0;
    // type: the first data byte of packet type 0x98.
    virtual void OnCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                             const TimeStamp& timeStamp) = 0;
    // Packet type 0xEE, or 0x77 starting with '@'. Most consumers ignore them.
    virtual void OnSendToFrame(const std::uint8_t* /*data*/, std::uint8_t /*length*/, std::uint8_t /*status*/,
                               const TimeStamp& /*timeStamp*/)
    {
    }

protected:
    ~IIncommingCMRPipe() = default;
};

// An RTCM v2 frame: data holds the 24 data bits of each 30-bit word as three
// bytes, the two header words first; length counts the data words after them
// (the header's N), so data holds (2 + length) * 3 bytes.
class IIncommingRTCMPipe {
public:
    virtual void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                             const TimeStamp& timeStamp) = 0;

protected:
    ~IIncommingRTCMPipe() = default;
};

// An RTCM v3 frame, length in bytes.
class IIncommingRTCM3Pipe {
public:
    virtual void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                              const TimeStamp& timeStamp) = 0;

protected:
    ~IIncommingRTCM3Pipe() = default;
};

// One NMEA sentence whose checksum matched: text is NUL-terminated without its
// line end; position is null unless the sentence carries one.
class IIncommingNMEAPipe {
public:
    virtual void OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                                const TimeStamp& timeStamp) = 0;

protected:
    ~IIncommingNMEAPipe() = default;
};

// An ATS frame, length in bytes.
class IIncommingATSPipe {
public:
    virtual void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                            const TimeStamp& timeStamp) = 0;

protected:
    ~IIncommingATSPipe() = default;
};

// Output a radio sends through one of its data pipes; pipeId is the four
// identifier bytes, first byte most significant.
class IPipeOut {
public:
    virtual void OnPipeData(std::uint32_t pipeId, const std::uint8_t* data, std::uint8_t length) = 0;

protected:
    ~IPipeOut() = default;
};

// A radio event report; code is never 0.
class IRadioEvents {
public:
    virtual void OnRadioEvent(std::uint8_t code, const char* name, const char* value) = 0;

protected:
    ~IRadioEvents() = default;
};

// After each fake CMR epoch: epochs sent so far and the limit (-1: none).
class ICMRSimStatus {
public:
    virtual void OnCMRSimStatus(long sentCount, long limit) = 0;

protected:
    ~ICMRSimStatus() = default;
};

// Offered by the fake ATS generator; nothing is published on it.
class IATSSimStatus {
public:
    virtual void OnATSSimStatus() = 0;

protected:
    ~IATSSimStatus() = default;
};

}  // namespace TolvarRT
