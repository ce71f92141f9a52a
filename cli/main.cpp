// The tolvar command: link tests without windows, and offline decoding of
// capture files.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/decode_command.h"
#include "cli/demo_command.h"
#include "cli/ports_command.h"
#include "ports/capture_replay.h"

namespace {

// Exit statuses: 0 success, 1 a port or file could not be opened, 2 bad arguments.
constexpr int kCannotOpen = 1;
constexpr int kBadArguments = 2;

int Decode(const std::vector<std::string>& files, std::size_t chunkSize, bool ats, bool json)
{
    std::vector<std::vector<std::uint8_t>> streams;
    for (const std::string& file : files) {
        std::vector<std::uint8_t> bytes;
        std::string error;
        if (!TolvarRT::ReadCaptureFile(file, bytes, error)) {
            std::cerr << "tolvar: cannot read " << error << "\n";
            return kCannotOpen;
        }
        streams.push_back(std::move(bytes));
    }
    const cli::sDecodeResult result = cli::DecodeStreams(streams, {chunkSize, ats});
    if (json)
        std::cout << cli::DecodeJson(result).dump(2) << "\n";
    else
        std::cout << cli::DecodeText(result);
    return 0;
}

int Demo(cli::sDemoOptions options)
{
    options.progress = !options.json && isatty(STDOUT_FILENO);
    options.onServing = [](const std::string& url) { std::cerr << "tolvar: status page at " << url << "\n"; };
    const cli::sDemoResult result = cli::RunDemo(options, std::cout);
    if (!result.error.empty()) {
        std::cerr << "tolvar: " << result.error << "\n";
        return kCannotOpen;
    }
    if (options.json)
        std::cout << cli::DemoJson(result).dump(2) << "\n";
    else
        std::cout << cli::DemoText(result);
    return 0;
}

int Ports()
{
    for (const cli::sSerialDevice& device : cli::DescribeSerialDevices()) {
        std::cout << device.path;
        if (!device.driver.empty())
            std::cout << "  [" << device.driver << "]";
        if (!device.description.empty())
            std::cout << "  " << device.description;
        std::cout << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Tolvar Test Suite: tests of radio links carrying GNSS corrections", "tolvar"};
    app.require_subcommand(1);

    auto* decode = app.add_subcommand("decode", "Decode capture files as the Listener's decoders would");
    std::vector<std::string> files;
    std::size_t chunkSize = 1024;
    bool ats = false;
    bool json = false;
    decode->add_option("--chunk", chunkSize, "Bytes handed to the decoders at a time, as a port would")
        ->check(CLI::Range(std::size_t(1), std::size_t(65536)));
    decode->add_flag("--ats", ats, "Also cut ATS frames (off by default: any 0x80..0x04 run is one)");
    decode->add_flag("--json", json, "Print one JSON document");
    decode->add_option("FILE", files, "Capture files, decoded one after the other")->required();

    auto* ports = app.add_subcommand("ports", "List the serial devices present");

    auto* demo = app.add_subcommand("demo", "Run a whole link test on the built-in emulated radio link");
    cli::sDemoOptions demoOptions;
    demo->add_option("--seconds", demoOptions.seconds, "How long the generator sends")
        ->check(CLI::Range(1u, 86400u))
        ->capture_default_str();
    demo->add_option("--schedule", demoOptions.schedule, "Fake CMR schedule 0..6")
        ->check(CLI::Range(0u, 6u))
        ->capture_default_str();
    demo->add_option("--svs", demoOptions.svs, "Simulated satellites")->check(CLI::Range(1u, 15u))->capture_default_str();
    demo->add_option("--loss", demoOptions.channel.lossPercent, "Packets dropped, percent")
        ->check(CLI::Range(0.0, 100.0))
        ->capture_default_str();
    demo->add_option("--latency", demoOptions.channel.latencyMs, "Delay of every packet, ms")
        ->check(CLI::Range(0u, 10000u))
        ->capture_default_str();
    demo->add_option("--jitter", demoOptions.channel.jitterMs, "Uniform extra delay up to this, ms")
        ->check(CLI::Range(0u, 10000u))
        ->capture_default_str();
    demo->add_option("--corrupt", demoOptions.channel.corruptPercent, "Packets with one byte changed, percent")
        ->check(CLI::Range(0.0, 100.0))
        ->capture_default_str();
    demo->add_option("--seed", demoOptions.channel.seed, "Seed of the link's randomness")->capture_default_str();
    demo->add_flag("--json", demoOptions.json, "Print one JSON document at the end");
    demo->add_option("--serve", demoOptions.serve,
                     "Serve the status page, \"/\" and \"/api/stats\" at ADDR:PORT while the test runs (127.0.0.1 "
                     "unless told otherwise)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return kBadArguments;
    }
    if (decode->parsed())
        return Decode(files, chunkSize, ats, json);
    if (ports->parsed())
        return Ports();
    if (demo->parsed())
        return Demo(demoOptions);
    return kBadArguments;
}
