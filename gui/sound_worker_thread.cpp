#include "gui/sound_worker_thread.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <numbers>

namespace gui {
namespace {

constexpr int kSampleRate = 22050;
constexpr std::size_t kDataBytes = 5943;
constexpr std::size_t kWaveHeader = 44;

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

// Through the default audio output, on the sound thread's own event loop.
class CAudioSinkPlayer final : public ISoundPlayer {
public:
    // The device is looked up on the constructing (user-interface) thread,
    // where the multimedia backend lives.
    CAudioSinkPlayer() : device(QMediaDevices::defaultAudioOutput())
    {
        const std::vector<std::uint8_t> wave = CmrSoundWave();
        samples = QByteArray(reinterpret_cast<const char*>(wave.data()) + kWaveHeader, qsizetype(kDataBytes));
        format.setSampleFormat(QAudioFormat::UInt8);
        format.setChannelCount(1);
        format.setSampleRate(kSampleRate);
    }

    void Play(int resourceId) override
    {
        if (resourceId != CSoundWorkerThread::kCmrSound || device.isNull() || stopped.load() ||
            !device.isFormatSupported(format))
            return;
        QByteArray data = samples;
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QAudioSink sink(device, format);
        sink.start(&buffer);
        if (sink.error() != QAudio::NoError)
            return;
        // A sound card that stalls must not hold the queue for good: twice
        // the sound's length is plenty.
        const qint64 limitMs = 2 * qint64(kDataBytes) * 1000 / kSampleRate + 200;
        QElapsedTimer playing;
        playing.start();
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            const bool done = sink.state() == QAudio::IdleState || sink.state() == QAudio::StoppedState;
            if (done || stopped.load() || playing.elapsed() > limitMs)
                loop.quit();
        });
        check.start(10);
        loop.exec();
        sink.stop();
    }

    void Stop() override { stopped = true; }

private:
    QAudioDevice device;
    QAudioFormat format;
    QByteArray samples;
    std::atomic<bool> stopped{false};
};

}  // namespace

std::vector<std::uint8_t> CmrSoundWave()
{
    std::vector<std::uint8_t> wave;
    wave.reserve(kWaveHeader + kDataBytes + 1);
    PutTag(wave, "RIFF");
    // The data chunk is padded to an even length.
    PutLittleEndian(wave, std::uint32_t(kWaveHeader - 8 + kDataBytes + kDataBytes % 2), 4);
    PutTag(wave, "WAVE");
    PutTag(wave, "fmt ");
    PutLittleEndian(wave, 16, 4);
    PutLittleEndian(wave, 1, 2);  // PCM
    PutLittleEndian(wave, 1, 2);  // mono
    PutLittleEndian(wave, kSampleRate, 4);
    PutLittleEndian(wave, kSampleRate, 4);  // bytes a second
    PutLittleEndian(wave, 1, 2);            // block align
    PutLittleEndian(wave, 8, 2);            // bits a sample
    PutTag(wave, "data");
    PutLittleEndian(wave, std::uint32_t(kDataBytes), 4);
    // Two partials with a quick attack and an exponential decay: a short
    // bright "tick" that is heard over wind without being shrill.
    for (std::size_t i = 0; i < kDataBytes; ++i) {
        const double t = double(i) / kSampleRate;
        const double attack = std::min(1.0, t / 0.004);
        const double envelope = attack * std::exp(-t / 0.06);
        const double tone =
            0.7 * std::sin(2 * std::numbers::pi * 1568.0 * t) + 0.3 * std::sin(2 * std::numbers::pi * 3136.0 * t);
        wave.push_back(std::uint8_t(std::lround(128.0 + 110.0 * envelope * tone)));
    }
    if (kDataBytes % 2 != 0)
        wave.push_back(0);
    return wave;
}

CSoundWorkerThread::CSoundWorkerThread() : CSoundWorkerThread(std::make_unique<CAudioSinkPlayer>()) {}

CSoundWorkerThread::CSoundWorkerThread(std::unique_ptr<ISoundPlayer> soundPlayer)
    : player(std::move(soundPlayer)), thread([this] { Run(); })
{
}

CSoundWorkerThread::~CSoundWorkerThread()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        waitingRequest.reset();
    }
    player->Stop();
    wake.notify_all();
    thread.join();
}

void CSoundWorkerThread::PostSound(int resourceId)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (stopping)
            return;
        // At four CMR frames a second a quarter-second sound falls behind
        // for good if every request waits its turn.
        if (waitingRequest)
            ++dropped;
        waitingRequest = resourceId;
    }
    wake.notify_one();
}

unsigned CSoundWorkerThread::DroppedSounds() const
{
    std::lock_guard<std::mutex> guard(lock);
    return dropped;
}

void CSoundWorkerThread::Run()
{
    for (;;) {
        int resourceId = 0;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [this] { return stopping || waitingRequest.has_value(); });
            if (stopping)
                return;
            resourceId = *waitingRequest;
            waitingRequest.reset();
        }
        player->Play(resourceId);
    }
}

}  // namespace gui
