// Readable names for the cases of parameterised tests, so that a listing or a
// failure says which case it is rather than dumping the parameter's bytes.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

#include <gtest/gtest.h>

namespace TolvarRT::testing {

// A text made fit for a test name: every character a name may not hold
// becomes '_'.
inline std::string NameFromText(std::string text)
{
    for (char& ch : text)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return text.empty() ? std::string("_") : text;
}

// The same, prefixed with the case's index, for texts that may come out alike
// once their punctuation is gone.
inline std::string IndexedName(std::size_t index, const std::string& text)
{
    return std::to_string(index) + "_" + NameFromText(text);
}

// A test name from the case's description.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    return NameFromText(info.param.what);
}

}  // namespace TolvarRT::testing
