// The NMEA output to the Listener: off, the common source's sentences as
// they arrive, or the canned sentence every ten seconds. The choice is kept
// in the settings store and comes back with the next test.
#pragma once

#include <atomic>
#include <string>

#include "app/settings_store.h"
#include "core/pipes.h"
#include "core/subscription.h"

struct sNmeaOutputSettings {
    static constexpr const char* kDefaultCanned =
        "$GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,*5F";

    bool enabled = false;
    bool live = false;  // else the canned text
    std::string canned = kDefaultCanned;

    // What the choices of the dialog allow: the source only while output
    // is on, the canned text only while it is the source.
    bool SourceChoosable() const { return enabled; }
    bool CannedEditable() const { return enabled && !live; }
    bool ForwardsLive() const { return enabled && live; }
    bool SendsCanned() const { return enabled && !live; }

    bool operator==(const sNmeaOutputSettings&) const = default;
};

// An empty stored text reads as the default: a template nobody can see
// would send nothing.
sNmeaOutputSettings ReadNmeaOutputSettings(const ISettingsStore& settings);
void WriteNmeaOutputSettings(ISettingsStore& settings, const sNmeaOutputSettings& output);

// Forwards each sentence of the NMEA decoder it is subscribed to, while
// switched on, to a port as "$", the text and CR LF: the decoder hands the
// text without both. Only sentences the decoder publishes (GGA, GGK, ZDA,
// GST, GSV with a good checksum) go out.
//
// Thread rules: OnNMEASentence runs on the decoder's port thread under the
// decoder's lock and then takes the target's; SetForwarding from any thread.
class CNmeaForwarder : public TolvarRT::TSubscriber<TolvarRT::IIncommingNMEAPipe> {
public:
    explicit CNmeaForwarder(TolvarRT::ILostBytePipe& target) : target(target) {}
    ~CNmeaForwarder() override { Unsubscribe(); }
    CNmeaForwarder(const CNmeaForwarder&) = delete;
    CNmeaForwarder& operator=(const CNmeaForwarder&) = delete;

    void SetForwarding(bool on) { forwarding.store(on); }
    bool IsForwarding() const { return forwarding.load(); }
    // Sentences written to the port since construction.
    unsigned long Forwarded() const { return forwarded.load(); }

    void OnNMEASentence(unsigned type, const TolvarRT::sNMEAPosition* position, const char* text,
                        const TolvarRT::TimeStamp& timeStamp) override;

private:
    TolvarRT::ILostBytePipe& target;
    std::atomic<bool> forwarding{false};
    std::atomic<unsigned long> forwarded{0};
};
