// The application-wide source of NMEA positions: one port and its decoder,
// which every position window's common tap listens to, opened and closed by
// two application commands whatever test window is active.
#pragma once

#include "app/document_ui.h"
#include "app/settings_store.h"
#include "core/log_pipe.h"
#include "decoders/dc_proto.h"
#include "decoders/nmea_input_handler.h"

namespace ApplicationCommand {
enum : unsigned {
    kConnectCommonNmea = 32829,
    kDisconnectCommonNmea = 32830,
    kWebServer = 32856,
    kAbout = 57664,
};
}  // namespace ApplicationCommand

// Thread rules: the commands run on the user-interface thread; sentences
// arrive on the port's reader thread and go to the decoder's subscribers.
class CCommonNmeaSource {
public:
    CCommonNmeaSource(ISettingsStore& settings, IDocumentUi& ui);
    ~CCommonNmeaSource();
    CCommonNmeaSource(const CCommonNmeaSource&) = delete;
    CCommonNmeaSource& operator=(const CCommonNmeaSource&) = delete;

    // The two commands: enabled while the port is closed (connect) or open
    // (disconnect). Run returns false for another id or a disabled command.
    bool Claims(unsigned commandId) const;
    bool IsEnabled(unsigned commandId);
    bool Run(unsigned commandId);

    // Asks for the port ("NMEA" settings) and opens it; the decoder stays
    // attached even when the port does not open.
    bool Connect();
    void Disconnect();
    bool IsOpen() { return commonNmeaPort.IsPortOpen(); }

    TolvarRT::CNMEAInputHandler& Decoder() { return commonNmeaDecoder; }
    TolvarRT::CDCProto& Port() { return commonNmeaPort; }
    CLogPipe& LogPipe() { return logPipe; }

private:
    ISettingsStore& settings;
    IDocumentUi& ui;
    CLogPipe logPipe;
    TolvarRT::CNMEAInputHandler commonNmeaDecoder{&logPipe};
    TolvarRT::CDCProto commonNmeaPort{&logPipe};
};
