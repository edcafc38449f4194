#include "spreadsheet/xlsx/scanned_xml.h"

#include <algorithm>
#include <exception>

namespace sbx::xlsx {

ScannedXmlParser::ScannedXmlParser(XmlHandler& target, const std::string& part, ScannedElement element)
    : target_(target), part_(part), element_(element),
      prefix_(element.name.empty() ? target : static_cast<XmlHandler&>(*this), part) {}

void ScannedXmlParser::feed(std::string_view piece) {
    if (scanner_) {
        scan(piece);
        return;
    }
    prefix_.feed(piece);
    if (!prefix_.suspended()) {
        if (!element_.name.empty()) keepTail(piece);
        fed_ += piece.size();
        return;
    }
    // Expat defers parsing a token it found incomplete until enough input has come, so it may
    // report the start tag pieces after the one that ended it: the bytes since then come from
    // the tail kept of the earlier pieces.
    if (bodyStart_ >= fed_) {
        scan(piece.substr(static_cast<size_t>(std::min<uint64_t>(bodyStart_ - fed_, piece.size()))));
        return;
    }
    const uint64_t missing = fed_ - bodyStart_;
    if (missing > tail_.size()) throw ScanDeclined();
    const std::string earlier = tail_.substr(tail_.size() - static_cast<size_t>(missing));
    scan(earlier);
    scan(piece);
}

void ScannedXmlParser::finish() {
    if (!scanner_) {
        finishing_ = true;  // what expat still holds it reads to the end itself
        prefix_.finish();
        return;
    }
    try {
        if (!suffix_) throw ScanDeclined();  // the part ends inside the element
        suffix_->finish();
    } catch (const std::exception&) {
        throw ScanDeclined();
    }
}

void ScannedXmlParser::scan(std::string_view piece) {
    try {
        if (suffix_) {
            suffix_->feed(piece);
            return;
        }
        std::string_view rest;
        if (scanner_->feed(piece, rest)) {
            if (element_.depth == 0) {
                suffix_ = std::make_unique<XmlParser>(ignored_, part_);
                suffix_->feed("<" + rootName_ + "/>");
            } else {
                suffix_ = std::make_unique<XmlParser>(target_, part_);
                suffix_->feed("<" + rootName_ + ">");
            }
            suffix_->feed(rest);
        }
    } catch (const std::exception&) {
        throw ScanDeclined();
    }
}

void ScannedXmlParser::keepTail(std::string_view piece) {
    constexpr size_t kTail = 256 * 1024;
    if (piece.size() >= kTail) {
        tail_.assign(piece.substr(piece.size() - kTail));
    } else {
        tail_.append(piece);
        if (tail_.size() > kTail) tail_.erase(0, tail_.size() - kTail);
    }
}

void ScannedXmlParser::start(std::string_view name, const char** attributes) {
    if (scanner_) return;  // an event expat delivers after stopping: the scanner reads it again
    if (depth_ == 0) rootName_ = prefix_.qualifiedName();
    if (depth_ == element_.depth && name == element_.name && !finishing_) {
        const std::string_view tag = prefix_.eventText();
        const std::string& encoding = prefix_.declaredEncoding();
        const bool utf8 = encoding.empty() || encoding == "UTF-8" || encoding == "utf-8";
        if (utf8 && !tag.empty() && !tag.ends_with("/>")) {
            bodyStart_ = prefix_.eventOffset() + static_cast<uint64_t>(prefix_.eventLength());
            scanner_ = std::make_unique<SheetDataScanner>(target_, std::string(prefix_.qualifiedName()));
            prefix_.suspend();
            target_.start(name, attributes);
            return;
        }
    }
    ++depth_;
    target_.start(name, attributes);
}

void ScannedXmlParser::end(std::string_view name) {
    if (scanner_) return;
    --depth_;
    target_.end(name);
}

void ScannedXmlParser::text(std::string_view chars) {
    if (!scanner_) target_.text(chars);
}

}  // namespace sbx::xlsx
