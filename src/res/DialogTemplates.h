#pragma once

#include <QKeyCombination>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

// Dialog templates as data: what each screen's window is made of, in dialog
// units, in template (and tab) order.
enum class ControlKind {
    Picture, // static bitmap
    Label, // static text
    Button, // push button
    Edit, // single-line edit
    DropList, // combo box, drop-down list (no typing)
    DropCombo, // combo box with its own edit field
};

namespace cs {
// Control styles that the screens depend on.
constexpr std::uint32_t TabStop = 1u << 0;
constexpr std::uint32_t Hidden = 1u << 1; // created not visible
constexpr std::uint32_t ReadOnly = 1u << 2; // ES_READONLY
constexpr std::uint32_t Number = 1u << 3; // ES_NUMBER: digits only from the keyboard
constexpr std::uint32_t Sorted = 1u << 4; // CBS_SORT
constexpr std::uint32_t Border = 1u << 5;
constexpr std::uint32_t AutoHScroll = 1u << 6;
constexpr std::uint32_t VScroll = 1u << 7;
constexpr std::uint32_t MultiLine = 1u << 8; // text wraps onto two lines
} // namespace cs

struct ControlTemplate {
    int id;
    ControlKind kind;
    QString text; // caption; for pictures the bitmap's resource path
    QRect rectDlu; // x, y, width, height in dialog units
    std::uint32_t style;
};

struct DialogTemplate {
    int id;
    QString caption;
    int widthDlu;
    int heightDlu;
    QString fontFace;
    int fontPointSize;
    std::uint32_t windowStyle;
    std::uint32_t windowExStyle;
    std::vector<ControlTemplate> controls;
};

// The template with the given resource id; aborts on an unknown id, since
// every id used in the program is a compile-time constant.
const DialogTemplate& dialogTemplate(int id);
const std::vector<int>& dialogTemplateIds();

// Menu 134: one top-level item opening a pop-up of commands, each with the
// shortcut shown beside it.
struct MenuCommand {
    QString text;
    int id;
    QKeyCombination shortcut;
};
struct MenuTemplate {
    QString popupText;
    std::vector<MenuCommand> commands;
};
const MenuTemplate& phonebookMenu();
