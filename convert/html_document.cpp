#include "convert/html_document.h"

#include "convert/text_page_format.h"

using text_page_format::kBodyStart;
using text_page_format::kEnd;
using text_page_format::kHead;

void HtmlDocument::addElement(std::unique_ptr<HtmlElement> element) {
    if (element) elements_.push_back(std::move(element));
}

std::string HtmlDocument::toHtml() const {
    std::size_t size = sizeof kHead + title.size() + sizeof kBodyStart + sizeof kEnd;
    for (const auto& element : elements_) size += element->renderedSize();
    std::string html;
    html.reserve(size);
    html += kHead;
    html += title;
    html += kBodyStart;
    for (const auto& element : elements_) element->appendTo(html);
    html += kEnd;
    return html;
}
