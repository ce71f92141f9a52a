#include "app/status_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/date_text.h"
#include "core/utf8_text.h"

namespace {

const char kBanner[] =
    "<P ALIGN=\"CENTER\"><TABLE BORDER CELLSPACING=0 BORDERCOLOR=\"#000000\" WIDTH=90% ><TR><TD VALIGN=\"MIDDLE\" "
    "BGCOLOR=\"#f8f800\"><FONT FACE=\"Verdana\"><BR><H2 ALIGN=\"CENTER\">Tolvar Test Suite <I>Web</H2></I></FONT>"
    "</TD></TR></TABLE></P>";
const char kHomeLink[] = "<P ALIGN=RIGHT><B><A href=/>Home<A></B></P>";

// Header cells and the first cell of a row are bold on the heading colour;
// the others are plain on white.
struct sCellFormat {
    const char* opening;
    const char* closing;
};
const sCellFormat kHeadingCell = {"\t<TD BGCOLOR=\"#80A0E0\"><B><FONT SIZE=-1><P  ALIGN=\"CENTER\">",
                                  "</P></FONT></B></TD>\n"};
const sCellFormat kBodyCell = {"\t<TD BGCOLOR=White ><FONT SIZE=-1><P ALIGN=\"CENTER\">\t\t\t", "</P></FONT></TD>\n"};

void AppendCell(std::string& page, const sCellFormat& format, std::string_view text)
{
    page += format.opening;
    page += EscapeHtml(text);
    page += format.closing;
}

}  // namespace

std::string StatusPagePath(unsigned documentNumber)
{
    char path[40];
    std::snprintf(path, sizeof path, "/TolvarTestSuiteDoc_%02u", documentNumber);
    return path;
}

std::string EscapeHtml(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    // A device's identity or a port's name may carry bytes of any 8-bit
    // encoding; the page is UTF-8.
    for (const char c : TolvarRT::ValidUtf8(text)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

std::string StatusPageText(const sStatusPageInput& input)
{
    const std::string title = EscapeHtml(input.title);
    std::string page;
    page.reserve(2048 + input.rows.size() * input.headers.size() * 96 + input.summary.size());

    page += "<HTML><TITLE>";
    page += title;
    page += "</TITLE><BODY BGCOLOR=\"#99ccff\">";
    page += kBanner;
    page += "<FONT FACE=\"Verdana\" >";
    page += kHomeLink;
    page += "<HR><H3>Status of Window :";
    page += title;
    page += "</H3>";

    page += "<TABLE BORDER CELLSPACING=0 BORDERCOLOR=\"#000000\" CELLPADDING=5>\n<TR>\n";
    for (const char* header : input.headers)
        AppendCell(page, kHeadingCell, header != nullptr ? header : "");
    page += "</TR>\n";

    // A row shows one cell per column; a list without columns shows no rows.
    const std::size_t columns = std::min(input.headers.size(), std::size_t(TolvarRT::kStatsColumns));
    if (columns > 0) {
        for (const TolvarRT::sStatsRow& row : input.rows) {
            page += "<TR>\n";
            AppendCell(page, kHeadingCell, row.cells[0]);
            for (std::size_t column = 1; column < columns; ++column)
                AppendCell(page, kBodyCell, row.cells[column]);
            page += "</TR>\n";
        }
    }

    // Line breaks stay as they are: inside PRE they show as written.
    page += "</TABLE><PRE>";
    page += EscapeHtml(input.summary);
    page += "</PRE>";
    if (!input.content.empty()) {
        // The base's descriptors are the stream's own texts: escaped like the rest.
        page += "<H3>Stream content</H3><PRE>";
        page += EscapeHtml(input.content);
        page += "</PRE>";
    }
    page += "<HR>";

    char moment[160];
    std::snprintf(moment, sizeof moment, "<P ALIGN=RIGHT><I>%s [%0.3fs]</I></P><BR>",
                  DateText(TolvarRT::DateAt(input.epoch, input.now)).c_str(),
                  TolvarRT::SecondsSince(input.epoch, input.now));
    page += kHomeLink;
    page += moment;
    page += "</FONT></BODY></HTML>";
    return page;
}

bool HandOutStatusPage(const sStatusPageInput& input, char** page, std::size_t* length, std::string* extraHeader)
{
    if (page != nullptr)
        *page = nullptr;
    if (length != nullptr)
        *length = 0;
    if (page == nullptr || length == nullptr)
        return false;
    if (extraHeader != nullptr)
        *extraHeader = kStatusPageExtraHeader;

    std::string text;
    try {
        text = StatusPageText(input);
    } catch (const std::bad_alloc&) {
        return false;
    }
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (copy == nullptr)
        return false;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *page = copy;
    *length = text.size();
    return true;
}

void FreeStatusPage(char* page)
{
    delete[] page;
}
