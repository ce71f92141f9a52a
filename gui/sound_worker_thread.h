// The sound played for each CMR frame received, so an engineer walking with a
// rover hears the correction stream. Sounds play on a thread of their own,
// one after another, so neither the decoding thread nor the window waits for
// the sound card; frames that come faster than the sound plays are heard as
// one sound after the current one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace gui {

// The CMR sound as a wave file: uncompressed PCM, one channel, 8 bits,
// 22050 samples a second, 5943 data bytes (a short decaying tone of about a
// quarter of a second).
std::vector<std::uint8_t> CmrSoundWave();

// Plays one sound to its end. Play runs on the sound thread only; Stop may be
// called from any thread and makes a Play in progress, and every later one,
// return at once.
class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    virtual void Play(int resourceId) = 0;
    virtual void Stop() = 0;
};

// Thread rules: PostSound may be called from any thread and never waits for a
// sound. The destructor (on the owner's thread) drops the requests not yet
// played, cuts the current sound short and joins the thread.
class CSoundWorkerThread {
public:
    static constexpr int kCmrSound = 159;

    // Plays through the default audio output; without one every request is
    // taken and nothing sounds.
    CSoundWorkerThread();
    explicit CSoundWorkerThread(std::unique_ptr<ISoundPlayer> player);
    ~CSoundWorkerThread();
    CSoundWorkerThread(const CSoundWorkerThread&) = delete;
    CSoundWorkerThread& operator=(const CSoundWorkerThread&) = delete;

    // Queues a sound behind the one playing; sounds of other ids than
    // kCmrSound are silent. At most one request waits: a newer one takes
    // its place, so the sound never lags behind the frames it stands for.
    void PostSound(int resourceId = kCmrSound);
    // Requests that a newer one replaced before they played.
    unsigned DroppedSounds() const;

private:
    void Run();

    std::unique_ptr<ISoundPlayer> player;
    mutable std::mutex lock;
    std::condition_variable wake;
    std::optional<int> waitingRequest;  // under lock
    unsigned dropped = 0;               // under lock
    bool stopping = false;              // under lock
    std::thread thread;
};

}  // namespace gui
