#pragma once

#include "convert/text_page_format.h"

#include <memory>
#include <string>
#include <vector>

class HtmlElement {
public:
    virtual ~HtmlElement() = default;
    virtual std::string render() const { return {}; }
    // The document renders through these, so a long book is sized once and copied once.
    virtual std::size_t renderedSize() const { return render().size(); }
    virtual void appendTo(std::string& out) const { out += render(); }
};

class TextLineElement : public HtmlElement {
public:
    explicit TextLineElement(std::string line) : line_(std::move(line)) {}
    std::string render() const override { return line_ + text_page_format::kLineEnd; }
    std::size_t renderedSize() const override { return line_.size() + sizeof text_page_format::kLineEnd - 1; }
    void appendTo(std::string& out) const override { out.append(line_).append(text_page_format::kLineEnd); }

private:
    std::string line_;
};

class HtmlDocument {
public:
    HtmlDocument() = default;
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;
    virtual ~HtmlDocument() = default;

    // Takes ownership; a null element is ignored.
    void addElement(std::unique_ptr<HtmlElement> element);
    std::string toHtml() const;

    std::string title;

private:
    std::vector<std::unique_ptr<HtmlElement>> elements_;
};
