// NMEA decoder throughput on a real high-rate receiver capture and on a dense
// synthetic stream of full-length sentences.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "decoder_rig.h"
#include "decoders/nmea_input_handler.h"

namespace {

class SentenceCounter : public TolvarRT::TSubscriber<TolvarRT::IIncommingNMEAPipe> {
public:
    void OnNMEASentence(unsigned, const TolvarRT::sNMEAPosition* position, const char*,
                        const TolvarRT::TimeStamp&) override
    {
        ++frames;
        if (position != nullptr)
            latitudeSum += position->latitude;
    }
    std::uint64_t frames = 0;
    double latitudeSum = 0;
};

void AppendSentence(std::vector<std::uint8_t>& bytes, const std::string& body)
{
    unsigned sum = 0;
    for (const char c : body)
        sum ^= std::uint8_t(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    bytes.push_back('$');
    bytes.insert(bytes.end(), body.begin(), body.end());
    bytes.insert(bytes.end(), tail, tail + 5);
}

// About 1 MB of a 10 Hz RTK receiver's output: GGA and GGK with every field,
// ZDA, GST, three GSV and a VTG nobody decodes, every checksum good.
const std::vector<std::uint8_t>& DenseNMEAStream()
{
    static const std::vector<std::uint8_t> stream = [] {
        std::vector<std::uint8_t> bytes;
        char body[200];
        for (unsigned epoch = 0; bytes.size() < (1u << 20); ++epoch) {
            // 10 Hz from 18:00:00.0, an hour's worth at most.
            const unsigned tenths = epoch % 36000;
            const unsigned hour = 18;
            const unsigned minute = tenths / 600;
            const double seconds = (tenths % 600) / 10.0;
            std::snprintf(body, sizeof body,
                          "GPGGA,%02u%02u%05.2f,4000.%08u,N,10500.%08u,W,%u,12,0.9,%.3f,M,-30.455,M,1.0,0031", hour,
                          minute, seconds, epoch * 7919 % 100000000, epoch * 104729 % 100000000, 1 + epoch % 5,
                          1600.0 + (epoch % 1000) / 1000.0);
            AppendSentence(bytes, body);
            std::snprintf(body, sizeof body,
                          "PVND,GGK,%02u%02u%05.2f,120719,4000.%08u,N,10500.%08u,W,3,12,1.0,EHT1570.%03u,M", hour,
                          minute, seconds, epoch * 7919 % 100000000, epoch * 104729 % 100000000, epoch % 1000);
            AppendSentence(bytes, body);
            if (epoch % 10 == 0) {
                std::snprintf(body, sizeof body, "GPZDA,%02u%02u%05.2f,12,07,2019,00,00", hour, minute, seconds);
                AppendSentence(bytes, body);
                AppendSentence(bytes, "GPGST,172814.0,0.006,0.023,0.020,273.6,0.023,0.020,0.031");
                for (int page = 1; page <= 3; ++page)
                    AppendSentence(bytes, "GPGSV,3," + std::to_string(page) +
                                              ",11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00");
                AppendSentence(bytes, "GPVTG,309.62,T,,M,0.13,N,0.2,K,A");
            }
        }
        return bytes;
    }();
    return stream;
}

void BM_NMEA(benchmark::State& state, const std::vector<std::uint8_t>& (*stream)())
{
    bench::DecoderRig<TolvarRT::CNMEAInputHandler, SentenceCounter> rig;
    rig.Run(state, stream());
    benchmark::DoNotOptimize(rig.counter.latitudeSum);
}
BENCHMARK_CAPTURE(BM_NMEA, Hemi, &bench::HemiCapture);
BENCHMARK_CAPTURE(BM_NMEA, Dense, &DenseNMEAStream);

}  // namespace
