// The CMR sound thread: requests from a decoding thread are played one at a
// time, at most one waits behind the playing one (the newest), and posting
// never waits for a sound.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "gui/sound_worker_thread.h"
#include "wait_until.h"

namespace {

using TolvarRT::testing::WaitUntil;

// A sound card that plays as long as its gate stays shut.
class GatedPlayer : public gui::ISoundPlayer {
public:
    void Play(int resourceId) override
    {
        std::unique_lock<std::mutex> guard(lock);
        overlapped = overlapped || playing;
        playing = true;
        ++started;
        changed.wait(guard, [&] { return open || stopped; });
        played.push_back(resourceId);
        playing = false;
    }
    void Stop() override
    {
        std::lock_guard<std::mutex> guard(lock);
        stopped = true;
        changed.notify_all();
    }
    void Open()
    {
        std::lock_guard<std::mutex> guard(lock);
        open = true;
        changed.notify_all();
    }
    template <class Reader>
    auto Read(Reader read)
    {
        std::lock_guard<std::mutex> guard(lock);
        return read();
    }

    std::vector<int> played;
    int started = 0;
    bool overlapped = false;

private:
    std::mutex lock;
    std::condition_variable changed;
    bool playing = false;
    bool open = false;
    bool stopped = false;
};

TEST(SoundWorkerThreadTest, RequestsSpacedOutPlayInOrderOneAfterAnother)
{
    auto owned = std::make_unique<GatedPlayer>();
    GatedPlayer& player = *owned;
    player.Open();
    gui::CSoundWorkerThread sounds(std::move(owned));
    for (int id = 1; id <= 3; ++id) {
        sounds.PostSound(id);
        ASSERT_TRUE(WaitUntil([&] { return player.Read([&] { return player.played.size(); }) == std::size_t(id); }));
    }
    EXPECT_EQ(player.Read([&] { return player.played; }), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(sounds.DroppedSounds(), 0u);
}

TEST(SoundWorkerThreadTest, ABurstWhileASoundPlaysLeavesOnlyTheNewestWaitingAndTheCallerNeverWaits)
{
    auto owned = std::make_unique<GatedPlayer>();
    GatedPlayer& player = *owned;
    gui::CSoundWorkerThread sounds(std::move(owned));

    sounds.PostSound(1);
    ASSERT_TRUE(WaitUntil([&] { return player.Read([&] { return player.started; }) == 1; }));
    // The CMR decoding thread posts while the first sound is still playing.
    std::atomic<bool> posted{false};
    std::thread decoder([&] {
        for (int id = 2; id <= 10; ++id)
            sounds.PostSound(id);
        posted = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return posted.load(); }, std::chrono::seconds(5))) << "the caller waited for the sound";
    decoder.join();
    EXPECT_EQ(player.Read([&] { return player.started; }), 1) << "one sound at a time";

    // Four frames a second for a minute would otherwise queue a minute of
    // sound: whatever came while the first played is one request.
    EXPECT_EQ(sounds.DroppedSounds(), 8u);
    player.Open();
    ASSERT_TRUE(WaitUntil([&] { return player.Read([&] { return player.played.size(); }) == 2u; }));
    EXPECT_EQ(player.Read([&] { return player.played; }), (std::vector<int>{1, 10}));
    EXPECT_FALSE(player.Read([&] { return player.overlapped; }));
    // Nothing else was left to play.
    sounds.PostSound(11);
    ASSERT_TRUE(WaitUntil([&] { return player.Read([&] { return player.played.size(); }) == 3u; }));
    EXPECT_EQ(player.Read([&] { return player.played.back(); }), 11);
}

TEST(SoundWorkerThreadTest, EndingCutsTheCurrentSoundAndDropsTheRest)
{
    auto owned = std::make_unique<GatedPlayer>();
    GatedPlayer& player = *owned;
    auto sounds = std::make_unique<gui::CSoundWorkerThread>(std::move(owned));
    for (int i = 0; i < 5; ++i)
        sounds->PostSound();
    ASSERT_TRUE(WaitUntil([&] { return player.Read([&] { return player.started; }) == 1; }));

    auto ending = std::async(std::launch::async, [&] { sounds.reset(); });
    ASSERT_EQ(ending.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the thread did not end";
}

TEST(SoundWorkerThreadTest, TheDefaultPlayerTakesRequestsWithOrWithoutASoundCard)
{
    auto sounds = std::make_unique<gui::CSoundWorkerThread>();
    for (int i = 0; i < 3; ++i)
        sounds->PostSound();
    sounds->PostSound(1);  // no such sound: silent
    auto ending = std::async(std::launch::async, [&] { sounds.reset(); });
    EXPECT_EQ(ending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(SoundWorkerThreadTest, TheCmrSoundIsAQuarterSecondOfEightBitMonoPcm)
{
    const std::vector<std::uint8_t> wave = gui::CmrSoundWave();
    const auto word = [&](std::size_t at) { return unsigned(wave[at] | wave[at + 1] << 8); };
    const auto longWord = [&](std::size_t at) { return word(at) | word(at + 2) << 16; };
    ASSERT_GE(wave.size(), 44u);
    EXPECT_EQ(std::string(wave.begin(), wave.begin() + 4), "RIFF");
    EXPECT_EQ(longWord(4), wave.size() - 8);
    EXPECT_EQ(std::string(wave.begin() + 8, wave.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(word(20), 1u) << "PCM";
    EXPECT_EQ(word(22), 1u) << "mono";
    EXPECT_EQ(longWord(24), 22050u);
    EXPECT_EQ(word(34), 8u) << "bits";
    EXPECT_EQ(std::string(wave.begin() + 36, wave.begin() + 40), "data");
    EXPECT_EQ(longWord(40), 5943u);

    // A tone that dies away: loud at the start, near silence at the end.
    const auto peak = [&](std::size_t from, std::size_t to) {
        int most = 0;
        for (std::size_t i = 44 + from; i < 44 + to; ++i)
            most = std::max(most, std::abs(int(wave[i]) - 128));
        return most;
    };
    EXPECT_GT(peak(0, 1000), 80);
    EXPECT_LT(peak(5000, 5943), 10);
}

}  // namespace
