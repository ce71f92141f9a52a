// The status page provider: a test document renders its state as one HTML page
// for whatever page server a front end runs.
#pragma once

#include <cstddef>
#include <string>

namespace Http {

// Thread rules: every operation may be called from any thread.
class IHttpConnector {
public:
    // The page's path, "/TolvarTestSuiteDoc_%02d".
    virtual std::string GetPath() = 0;
    virtual std::string GetTitle() = 0;
    // Builds the page and hands out a newly allocated, NUL-terminated copy;
    // length excludes the terminator. The request line and query are offered
    // for servers that want them; extraHeader receives any header text to add.
    virtual bool GetPage(const char* requestPath, const char* query, char** page, std::size_t* length,
                         std::string* extraHeader) = 0;
    // Releases a copy returned by GetPage.
    virtual void FreePage(char* page) = 0;

protected:
    ~IHttpConnector() = default;
};

}  // namespace Http
