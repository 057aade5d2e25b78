// A small pull parser for the XML parts of an OOXML package. It accepts the
// well-formed UTF-8 XML that spreadsheet programs write and nothing more: no
// DOCTYPE (so no entity expansion), bounded nesting and attribute counts.
// Element and attribute names are reported without their namespace prefix.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scrivane::codec::detail {

class XmlReader {
public:
    enum class Token { StartElement, EndElement, Text, End };

    explicit XmlReader(std::string_view document);  // throws WorkbookError on bad UTF-8

    // The next token; throws WorkbookError on malformed XML.
    Token Next();

    // Local name of the element just started or ended.
    std::string_view Name() const { return name_; }
    // Attribute of the element just started, by local name; null when absent.
    const std::string* Attribute(std::string_view localName) const;
    // Character data (entities decoded, line ends normalised) of a Text token.
    const std::string& Text() const { return text_; }
    // Elements open around the current token (a start tag counts itself).
    std::size_t Depth() const { return stack_.size(); }

private:
    void ReadStartTag();
    void ReadEndTag();
    void ReadText();
    std::string_view ReadName();
    void SkipSpace();
    void DecodeInto(std::string& out, std::string_view raw);
    void AppendNormalised(std::string& out, std::string_view raw);

    std::string_view doc_;
    std::size_t pos_ = 0;
    std::vector<std::string> stack_;  // qualified names of open elements
    std::string name_;
    std::string text_;
    std::vector<std::pair<std::string, std::string>> attributes_;  // local name, value
    bool pendingEnd_ = false;  // an empty-element tag still owes its end
    bool seenRoot_ = false;
};

// Decodes the _xHHHH_ escapes OOXML uses for characters XML cannot carry.
std::string DecodeOoxmlEscapes(std::string_view text);

}  // namespace scrivane::codec::detail
