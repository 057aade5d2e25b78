#include "spreadsheet/codec/read_xml.h"

#include <charconv>

#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {
namespace {

constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxAttributes = 256;
constexpr std::size_t kMaxNameLength = 1024;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view LocalName(std::string_view qualified) {
    const auto colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

void Malformed() {
    Damaged("malformed XML");
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

XmlReader::XmlReader(std::string_view document) : doc_(document) {
    if (doc_.starts_with("\xEF\xBB\xBF")) doc_.remove_prefix(3);
    if (!IsValidUtf8(doc_)) Damaged("XML part is not UTF-8");
}

const std::string* XmlReader::Attribute(std::string_view localName) const {
    for (const auto& [name, value] : attributes_)
        if (name == localName) return &value;
    return nullptr;
}

XmlReader::Token XmlReader::Next() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        name_ = std::string(LocalName(stack_.back()));
        stack_.pop_back();
        attributes_.clear();
        return Token::EndElement;
    }
    for (;;) {
        if (pos_ >= doc_.size()) {
            if (!stack_.empty() || !seenRoot_) Damaged("truncated XML");
            return Token::End;
        }
        const std::string_view rest = doc_.substr(pos_);
        if (rest[0] != '<') {
            ReadText();
            if (stack_.empty()) {
                // Only blanks may stand outside the root element.
                for (char c : text_)
                    if (!IsSpace(c)) Malformed();
                continue;
            }
            return Token::Text;
        }
        if (rest.starts_with("<?") || rest.starts_with("<!--")) {
            const std::string_view close = rest[1] == '?' ? "?>" : "-->";
            const auto end = rest.find(close, 2);
            if (end == std::string_view::npos) Damaged("truncated XML");
            pos_ += end + close.size();
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            if (stack_.empty()) Malformed();
            const auto end = rest.find("]]>", 9);
            if (end == std::string_view::npos) Damaged("truncated XML");
            text_.clear();
            AppendNormalised(text_, rest.substr(9, end - 9));
            pos_ += end + 3;
            return Token::Text;
        }
        if (rest.starts_with("<!")) Damaged("unsupported XML declaration");
        if (rest.starts_with("</")) {
            ReadEndTag();
            return Token::EndElement;
        }
        ReadStartTag();
        return Token::StartElement;
    }
}

void XmlReader::SkipSpace() {
    while (pos_ < doc_.size() && IsSpace(doc_[pos_])) ++pos_;
}

std::string_view XmlReader::ReadName() {
    const std::size_t start = pos_;
    while (pos_ < doc_.size()) {
        const char c = doc_[pos_];
        if (IsSpace(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'' ||
            c == '&')
            break;
        ++pos_;
    }
    if (pos_ == start || pos_ - start > kMaxNameLength) Malformed();
    return doc_.substr(start, pos_ - start);
}

void XmlReader::ReadStartTag() {
    ++pos_;  // '<'
    const std::string_view qname = ReadName();
    if (stack_.empty() && seenRoot_) Malformed();  // a second root
    if (stack_.size() >= kMaxDepth) Damaged("XML nested too deeply");
    attributes_.clear();
    for (;;) {
        SkipSpace();
        if (pos_ >= doc_.size()) Damaged("truncated XML");
        const char c = doc_[pos_];
        if (c == '>') {
            ++pos_;
            break;
        }
        if (c == '/') {
            if (pos_ + 1 >= doc_.size() || doc_[pos_ + 1] != '>') Malformed();
            pos_ += 2;
            pendingEnd_ = true;
            break;
        }
        const std::string_view attrName = ReadName();
        SkipSpace();
        if (pos_ >= doc_.size() || doc_[pos_] != '=') Malformed();
        ++pos_;
        SkipSpace();
        if (pos_ >= doc_.size() || (doc_[pos_] != '"' && doc_[pos_] != '\'')) Malformed();
        const char quote = doc_[pos_++];
        const auto end = doc_.find(quote, pos_);
        if (end == std::string_view::npos) Damaged("truncated XML");
        const std::string_view raw = doc_.substr(pos_, end - pos_);
        if (raw.find('<') != std::string_view::npos) Malformed();
        pos_ = end + 1;
        if (attributes_.size() >= kMaxAttributes) Damaged("too many XML attributes");
        std::string value;
        DecodeInto(value, raw);
        attributes_.emplace_back(std::string(LocalName(attrName)), std::move(value));
    }
    seenRoot_ = true;
    stack_.emplace_back(qname);
    name_ = std::string(LocalName(qname));
}

void XmlReader::ReadEndTag() {
    pos_ += 2;  // "</"
    const std::string_view qname = ReadName();
    SkipSpace();
    if (pos_ >= doc_.size() || doc_[pos_] != '>') Damaged("truncated XML");
    ++pos_;
    if (stack_.empty() || stack_.back() != qname) Malformed();
    stack_.pop_back();
    name_ = std::string(LocalName(qname));
    attributes_.clear();
}

void XmlReader::ReadText() {
    auto end = doc_.find('<', pos_);
    if (end == std::string_view::npos) end = doc_.size();
    text_.clear();
    DecodeInto(text_, doc_.substr(pos_, end - pos_));
    pos_ = end;
}

void XmlReader::AppendNormalised(std::string& out, std::string_view raw) {
    // XML turns CR LF and lone CR into LF before anything else.
    for (std::size_t i = 0; i < raw.size();) {
        const auto cr = raw.find('\r', i);
        if (cr == std::string_view::npos) {
            out.append(raw.substr(i));
            return;
        }
        out.append(raw.substr(i, cr - i));
        out.push_back('\n');
        i = cr + 1;
        if (i < raw.size() && raw[i] == '\n') ++i;
    }
}

void XmlReader::DecodeInto(std::string& out, std::string_view raw) {
    std::size_t i = 0;
    while (i < raw.size()) {
        const auto amp = raw.find('&', i);
        AppendNormalised(out, raw.substr(i, amp == std::string_view::npos ? raw.npos : amp - i));
        if (amp == std::string_view::npos) return;
        const auto semi = raw.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 12) Malformed();
        const std::string_view entity = raw.substr(amp + 1, semi - amp - 1);
        i = semi + 1;
        if (entity == "lt") {
            out.push_back('<');
        } else if (entity == "gt") {
            out.push_back('>');
        } else if (entity == "amp") {
            out.push_back('&');
        } else if (entity == "quot") {
            out.push_back('"');
        } else if (entity == "apos") {
            out.push_back('\'');
        } else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            std::uint32_t cp = 0;
            const auto [ptr, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
            if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size() ||
                cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                Malformed();
            AppendUtf8(out, cp);
        } else {
            Malformed();
        }
    }
}

std::string DecodeOoxmlEscapes(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            int cp = 0;
            bool ok = true;
            for (std::size_t k = 2; k < 6; ++k) {
                const int v = HexValue(text[i + k]);
                ok = ok && v >= 0;
                cp = cp * 16 + (v < 0 ? 0 : v);
            }
            if (ok && !(cp >= 0xD800 && cp <= 0xDFFF)) {
                AppendUtf8(out, static_cast<char32_t>(cp));
                i += 7;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

}  // namespace scrivane::codec::detail
