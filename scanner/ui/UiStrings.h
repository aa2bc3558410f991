#pragma once
// The settings page's string table, by the ids its resources use.
namespace qlon::scanner::ui {
// The text of an id; "" for an id with no string.
const char* UiString(int id);
}  // namespace qlon::scanner::ui
