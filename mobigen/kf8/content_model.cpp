#include "mobigen/kf8/content_model.h"

#include "mobigen/text/ascii.h"

#include <unordered_map>

namespace mobigen {

// How each HTML element is written; names not listed keep only their content.
const XhtmlKind* xhtmlKindOf(std::string_view name) {
    static const std::unordered_map<std::string_view, XhtmlKind> kKinds = [] {
        std::unordered_map<std::string_view, XhtmlKind> k;
        for (const auto n : {"p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "address"})
            k[n] = {n, Place::Block, Holds::Inlines, {}};
        for (const auto n : {"div", "section", "article", "header", "footer", "main", "aside", "nav", "figure",
                             "figcaption", "hgroup", "details", "summary", "fieldset", "legend", "dialog"})
            k[n] = {"div", Place::Block, Holds::Flow, {}};
        k["center"] = {"div", Place::Block, Holds::Flow, "text-align: center"};
        k["blockquote"] = {"blockquote", Place::Block, Holds::Blocks, {}};
        k["ul"] = {"ul", Place::Block, Holds::ListItems, {}};
        k["ol"] = {"ol", Place::Block, Holds::ListItems, {}};
        k["menu"] = {"ul", Place::Block, Holds::ListItems, {}};
        k["dl"] = {"dl", Place::Block, Holds::DlItems, {}};
        k["hr"] = {"hr", Place::Block, Holds::Nothing, {}};
        k["table"] = {"table", Place::Block, Holds::TableParts, {}};
        k["li"] = {"li", Place::ListItem, Holds::Flow, {}};
        k["dt"] = {"dt", Place::DlItem, Holds::Inlines, {}};
        k["dd"] = {"dd", Place::DlItem, Holds::Flow, {}};
        k["caption"] = {"caption", Place::TablePart, Holds::Inlines, {}};
        for (const auto n : {"thead", "tbody", "tfoot"}) k[n] = {n, Place::TablePart, Holds::Rows, {}};
        k["tr"] = {"tr", Place::Row, Holds::Cells, {}};
        k["td"] = {"td", Place::Cell, Holds::Flow, {}};
        k["th"] = {"th", Place::Cell, Holds::Flow, {}};
        for (const auto n : {"a",   "abbr", "acronym", "b",     "big",  "cite",   "code", "dfn", "em", "i",
                             "kbd", "q",    "samp",    "small", "span", "strong", "sub",  "sup", "tt", "var",
                             "bdo", "ruby", "rb",      "rt",    "rp",   "rtc",    "ins",  "del"})
            k[n] = {n, Place::Inline, Holds::Inlines, {}};
        for (const auto n : {"mark", "time", "data", "font", "bdi", "label", "output", "nobr"})
            k[n] = {"span", Place::Inline, Holds::Inlines, {}};
        k["u"] = {"span", Place::Inline, Holds::Inlines, "text-decoration: underline"};
        for (const auto n : {"s", "strike"})
            k[n] = {"span", Place::Inline, Holds::Inlines, "text-decoration: line-through"};
        k["br"] = {"br", Place::Inline, Holds::Nothing, {}};
        k["img"] = {"img", Place::Inline, Holds::Nothing, {}};
        return k;
    }();
    const auto it = kKinds.find(name);
    return it == kKinds.end() ? nullptr : &it->second;
}

bool holdsPlace(Holds holds, Place where) {
    switch (holds) {
    case Holds::Blocks:
        return where == Place::Block;
    case Holds::Flow:
        return where == Place::Block || where == Place::Inline;
    case Holds::Inlines:
        return where == Place::Inline;
    case Holds::ListItems:
        return where == Place::ListItem;
    case Holds::DlItems:
        return where == Place::DlItem;
    case Holds::TableParts:
        return where == Place::TablePart || where == Place::Row;
    case Holds::Rows:
        return where == Place::Row;
    case Holds::Cells:
        return where == Place::Cell;
    case Holds::Nothing:
        return false;
    }
    return false;
}

std::string_view fillerFor(Holds holds) {
    switch (holds) {
    case Holds::Blocks:
        return "<div></div>";
    case Holds::ListItems:
        return "<li></li>";
    case Holds::DlItems:
        return "<dd></dd>";
    case Holds::TableParts:
    case Holds::Rows:
        return "<tr><td></td></tr>";
    case Holds::Cells:
        return "<td></td>";
    default:
        return {};
    }
}

std::string renamedClass(std::string_view input, std::string_view written) {
    if (input == written || written == "body") return {};
    return "tag-" + std::string(input);
}

std::string xhtmlTypeSelector(std::string_view element) {
    const std::string name = lowerAscii(element);
    const XhtmlKind* kind = xhtmlKindOf(name);
    if (kind == nullptr || kind->name == name) return {};
    return std::string(kind->name) + "." + renamedClass(name, kind->name);
}

Repair nextRepair(const Innermost& innermost, Place where, const XhtmlKind* kind, bool containerAbove) {
    const Holds holds = innermost.holds;
    const bool inFlow = where == Place::Block || where == Place::Inline;
    if (holdsPlace(holds, where)) return {RepairAction::Fits};
    if (where == Place::Block && holds == Holds::Inlines) {
        const bool inlineParent = innermost.place == Place::Inline;
        if (kind != nullptr && inlineParent && (kind->holds == Holds::Inlines || kind->holds == Holds::Flow))
            return {RepairAction::BecomeSpan};
        return {RepairAction::CloseInnermost};
    }
    if (holds == Holds::Blocks && where == Place::Inline)
        return {RepairAction::OpenWrapper, {"div", Place::Block, Holds::Flow, {}}};
    if (holds == Holds::ListItems && inFlow)
        return {RepairAction::OpenWrapper, {"li", Place::ListItem, Holds::Flow, {}}};
    if (holds == Holds::DlItems && inFlow) return {RepairAction::OpenWrapper, {"dd", Place::DlItem, Holds::Flow, {}}};
    if ((holds == Holds::TableParts || holds == Holds::Rows) && (where == Place::Cell || inFlow))
        return {RepairAction::OpenWrapper, {"tr", Place::Row, Holds::Cells, {}}};
    if (holds == Holds::Cells && inFlow) return {RepairAction::OpenWrapper, {"td", Place::Cell, Holds::Flow, {}}};
    if (!inFlow && containerAbove) return {RepairAction::CloseInnermost};
    if (kind != nullptr && !inFlow) return {RepairAction::BecomeDiv};
    if (innermost.exists && holds == Holds::Inlines) return {RepairAction::CloseInnermost};
    return {RepairAction::LeaveOut};
}

}  // namespace mobigen
