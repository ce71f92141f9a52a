#include "app/common_nmea_source.h"

#include "app/port_settings.h"

namespace Command = ApplicationCommand;

CCommonNmeaSource::CCommonNmeaSource(ISettingsStore& store, IDocumentUi& documentUi) : settings(store), ui(documentUi)
{
}

CCommonNmeaSource::~CCommonNmeaSource()
{
    // The reader thread delivers into the decoder: it stops before the
    // decoder goes.
    commonNmeaPort.ClosePort();
    commonNmeaDecoder.Unsubscribe();
}

bool CCommonNmeaSource::Claims(unsigned id) const
{
    return id == Command::kConnectCommonNmea || id == Command::kDisconnectCommonNmea;
}

bool CCommonNmeaSource::IsEnabled(unsigned id)
{
    if (id == Command::kConnectCommonNmea)
        return !commonNmeaPort.IsPortOpen();
    if (id == Command::kDisconnectCommonNmea)
        return commonNmeaPort.IsPortOpen();
    return false;
}

bool CCommonNmeaSource::Run(unsigned id)
{
    if (!Claims(id) || !IsEnabled(id))
        return false;
    if (id == Command::kConnectCommonNmea)
        Connect();
    else
        Disconnect();
    return true;
}

bool CCommonNmeaSource::Connect()
{
    commonNmeaDecoder.Subscribe(&commonNmeaPort);
    CPortSettings dialog(settings, "NMEA", true, false, ui.SerialDevices());
    dialog.Load();
    if (!ui.ShowPortSettings(dialog))
        return false;
    // A plain NMEA talker answers no identity request.
    bool opened = false;
    ui.RunWaitingStep("Opening the common source of NMEA Positions",
                      [&] { opened = commonNmeaPort.OpenPort(dialog.MakePortRequest(0)); });
    if (!opened) {
        ui.ShowInformation("Could not open Comm port ");
        return false;
    }
    return true;
}

void CCommonNmeaSource::Disconnect()
{
    commonNmeaPort.ClosePort();
    commonNmeaDecoder.Unsubscribe();
}
