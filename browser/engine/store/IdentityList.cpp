#include "IdentityList.h"

#include "Types.h"
#include "Utils.h"

namespace qlon {

std::string TIdentityList::GetName(int index) const {
  return Valid(index) ? slots_[index].Name : std::string();
}

int TIdentityList::IndexOf(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (SameTextAscii(slots_[i].Name, name)) return i;
  return -1;
}

int TIdentityList::FindFreeSlot() {
  for (int i = 0; i < Count(); ++i)
    if (slots_[i].Name.empty()) return i;
  if (Count() >= kMaxSlots) return -1;
  slots_.emplace_back();
  return Count() - 1;
}

int TIdentityList::SetIdentity(std::string_view name, std::string_view user,
                               std::string_view password) {
  // An empty name marks a free slot, and a login cut on save would be a
  // wrong login. A long name (a URL) is only cut in the stored form: records
  // refer to the slot, not to the name.
  if (name.empty() || user.size() > kShortStringMax || password.size() > kShortStringMax)
    return -1;
  int index = IndexOf(name);
  if (index < 0) index = FindFreeSlot();
  if (index < 0) return -1;
  slots_[index] = Slot{std::string(name), std::string(user), std::string(password)};
  return index;
}

bool TIdentityList::GetIdentity(int index, std::string& user, std::string& password) const {
  user.clear();
  password.clear();
  if (!Valid(index) || slots_[index].Name.empty()) return false;
  user = slots_[index].User;
  password = slots_[index].Password;
  return true;
}

void TIdentityList::Delete(int index) {
  if (Valid(index)) slots_[index] = Slot{};
}

void TIdentityList::SaveToStream(QIODevice& stream) const {
  WriteInt16(static_cast<std::int16_t>(Count()), stream);
  for (const Slot& slot : slots_) {
    WriteShortString(slot.Name, stream);
    WriteShortString(slot.User, stream);
    WriteShortString(slot.Password, stream);
  }
}

bool TIdentityList::LoadFromStream(QIODevice& stream) {
  Clear();
  const int count = ReadInt16Checked(stream);
  for (int i = 0; i < count; ++i) {
    Slot slot;
    slot.Name = ReadShortStringChecked(stream);
    slot.User = ReadShortStringChecked(stream);
    slot.Password = ReadShortStringChecked(stream);
    if (slot.Name.empty()) slot = Slot{};
    if (i < kMaxSlots) slots_.push_back(std::move(slot));
  }
  return count >= 0 && count <= kMaxSlots;
}

}  // namespace qlon
