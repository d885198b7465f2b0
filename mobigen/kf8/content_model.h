#pragma once

// XHTML 1.1's content model as the KF8 writer needs it: where each element may stand, what
// it may hold, and the one step that brings a misplaced element closer to a valid place.

#include <cstddef>
#include <string>
#include <string_view>

namespace mobigen {

// Where an element may stand, in XHTML 1.1 terms.
enum class Place { Block, Inline, ListItem, DlItem, TablePart, Row, Cell };

// What an element may hold.
enum class Holds { Blocks, Flow, Inlines, ListItems, DlItems, TableParts, Rows, Cells, Nothing };

struct XhtmlKind {
    std::string_view name;  // as written
    Place place;
    Holds holds;
    std::string_view style;  // stands in for a presentational element
};

// How an HTML element is written; nothing for names that keep only their content.
const XhtmlKind* xhtmlKindOf(std::string_view name);

bool holdsPlace(Holds holds, Place where);

// XHTML 1.1 wants at least one child in these; "" for the others.
std::string_view fillerFor(Holds holds);

// The class that keeps an element written under another name reachable by its stylesheet.
std::string renamedClass(std::string_view input, std::string_view written);

// How a stylesheet selects what the writer wrote for an element: "div.tag-section" for
// section, "" for an element written as itself.
std::string xhtmlTypeSelector(std::string_view element);

enum class RepairAction {
    Fits,            // it may stand here
    BecomeSpan,      // a block inside inline content: written as a block-displayed span
    CloseInnermost,  // the open element cannot hold it
    OpenWrapper,     // a list item, row or cell must surround it
    BecomeDiv,       // a list item, cell or row outside its list or table
    LeaveOut,
};

struct Repair {
    RepairAction action;
    XhtmlKind wrapper{};  // OpenWrapper: what to open
};

struct Innermost {
    bool exists = false;  // false at the body itself
    Place place = Place::Block;
    Holds holds = Holds::Blocks;
};

// The next step to fit something standing at `where` (an element of `kind`, or text when
// null) into `innermost`. `containerAbove`: an element that can hold `where` is open further
// out, with no list or table boundary between.
Repair nextRepair(const Innermost& innermost, Place where, const XhtmlKind* kind, bool containerAbove);

}  // namespace mobigen
