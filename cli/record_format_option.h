// --record-format: which tools' files --record writes beside each side's raw
// bytes. Ours always; "rtklib" adds RTKLIB's time tags (NAME.raw.tag), so
// that RTKLIB's tools replay the recording as it arrived.
#pragma once

#include <CLI/CLI.hpp>

namespace cli {

// Given after --record on the same command.
inline void AddRecordFormatOption(CLI::App& command, bool& rtklib)
{
    command
        .add_option_function<std::string>(
            "--record-format", [&rtklib](const std::string& format) { rtklib = format == "rtklib"; },
            "tolvar (the default): listener.raw with listener.tags, and the same for the source; rtklib: also "
            "RTKLIB's time tags beside each (listener.raw.tag), for str2str -in file://DIR/listener.raw::T")
        ->check(CLI::IsMember({"tolvar", "rtklib"}))
        ->needs(command.get_option("--record"));
}

}  // namespace cli
