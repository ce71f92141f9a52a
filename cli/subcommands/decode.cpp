// tolvar decode: capture files decoded as the Listener's decoders would.
#include "cli/subcommands/decode.h"

#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/capture_replay.h"
#include "cli/decode_command.h"
#include "cli/subcommands/exit_status.h"
#include "web/json_text.h"

namespace cli {

CLI::App* AddDecodeCommand(CLI::App& app, sDecodeArguments& arguments)
{
    auto* decode = app.add_subcommand("decode", "Decode capture files as the Listener's decoders would");
    decode->add_option("--chunk", arguments.chunkSize, "Bytes handed to the decoders at a time, as a port would")
        ->check(CLI::Range(std::size_t(1), std::size_t(65536)));
    decode->add_flag("--ats", arguments.ats, "Also cut ATS frames (off by default: any 0x80..0x04 run is one)");
    auto* jsonFlag = decode->add_flag("--json", arguments.json, "Print one JSON document");
    decode
        ->add_flag("--frames", arguments.frames,
                   "Print one JSON line per frame and per run of bytes in no decoder's frame (\"lost\"), in "
                   "stream order: offset, length, class, type, name and the chunk that published it; then what RTCM "
                   "and CMR frames say about themselves (station, epoch, satellites, station records)")
        ->excludes(jsonFlag);
    decode
        ->add_option("FILE", arguments.files,
                     "Capture files, recorded sides (NAME.raw, cut as received by NAME.tags beside it) or "
                     "recording folders, decoded one after the other")
        ->required();
    return decode;
}

int Decode(const sDecodeArguments& arguments)
{
    // Every file is judged before any is decoded: one that cannot be read
    // stops the decoding before anything is printed.
    std::vector<TolvarRT::sJudgedCapture> captures;
    std::string error;
    for (const std::string& file : arguments.files)
        if (!TolvarRT::JudgeCaptures(file, captures, error)) {
            std::cerr << "tolvar: cannot read " << error << "\n";
            return kCannotOpen;
        }
    CDecodeSession::ListingSink listing;
    if (arguments.frames)
        listing = [](const TolvarRT::sListedFrame& entry) { std::cout << FrameLine(entry); };
    sDecodeOptions options;
    options.chunkSize = arguments.chunkSize;
    options.ats = arguments.ats;
    CDecodeSession session(options, listing);
    const auto deliver = [&session](const std::uint8_t* data, std::size_t length, bool startsChunk) {
        session.Deliver(data, length, startsChunk);
    };
    for (const TolvarRT::sJudgedCapture& capture : captures)
        if (!TolvarRT::PlayCapture(capture, arguments.chunkSize, deliver, error)) {
            std::cerr << "tolvar: cannot read " << error << "\n";
            return kCannotOpen;
        }
    const sDecodeResult result = session.Finish();
    if (arguments.json)
        std::cout << web::JsonText(DecodeJson(result), 2) << "\n";
    else if (!arguments.frames)
        std::cout << DecodeText(result);
    return 0;
}

}  // namespace cli
