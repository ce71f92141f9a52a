#include "gui/demo_link.h"

#include "app/document_commands.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/main_frame.h"
#include "gui/qt_document_ui.h"

namespace gui {
namespace {

CQtDocumentUi::PortChoice SerialChoice(const std::string& port, bool fakeCmr)
{
    return [port, fakeCmr](CPortSettings& dialog) {
        dialog.SelectMode(kSerialPortMode);
        dialog.SelectSerialPort(port);
        dialog.baudRates.SelectByValue(CDemoLink::kBaudRate);
        dialog.fakeCmr = fakeCmr;
        // The demo is a CMR link whatever generator the user chose last.
        dialog.fakeRtcm3 = false;
    };
}

}  // namespace

CDemoLink::CDemoLink() : link(std::make_unique<TolvarRT::CEmulatedRadioLink>(TolvarRT::sRadioChannel{})) {}

CDemoLink::~CDemoLink()
{
    link->Stop();
}

bool CDemoLink::Connect(CMainFrame& mainFrame, std::string& error)
{
    CTolvarTestSuiteDoc* document = mainFrame.ActiveDocument();
    CQtDocumentUi* ui = mainFrame.ActiveDocumentUi();
    if (document == nullptr || ui == nullptr) {
        error = "no test window";
        return false;
    }
    if (!link->Start(error))
        return false;
    ui->PresetPortChoice("Listener", SerialChoice(link->RoverPort(), false));
    ui->PresetPortChoice("GPS Source", SerialChoice(link->BasePort(), true));
    mainFrame.Run(DocumentCommand::kConnectListener);
    if (!document->IsListenerOpen()) {
        error = link->RoverPort() + ": " + document->ListenerEndpoint().OpenFailure();
        return false;
    }
    mainFrame.Run(DocumentCommand::kConnectSource);
    if (!document->IsSourceOpen()) {
        error = link->BasePort() + ": " + document->SourceEndpoint().OpenFailure();
        return false;
    }
    return true;
}

}  // namespace gui
