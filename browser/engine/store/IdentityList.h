#pragma once
// The logins of one capture, by slot. A URL record refers to its login by
// slot index (stored 1-based), so a slot keeps its position for the life of
// the list and across a save and load: deleting only empties it, and an empty
// slot is reused by the next new login.
//
// Stream form (the capture file's identity block), little-endian:
//   int16           number of slots n (0..250)
//   n x 3 short strings  name, user, password; an empty slot is three empty strings
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

namespace qlon {

class TIdentityList {
 public:
  static constexpr int kMaxSlots = 250;

  int Count() const { return static_cast<int>(slots_.size()); }
  // The slot's name; empty for an empty slot or an index outside the list.
  std::string GetName(int index) const;
  // The slot whose name equals the name ignoring ASCII case; -1 when none.
  int IndexOf(std::string_view name) const;

  // The first empty slot; else a new slot when fewer than 250 exist; else -1.
  int FindFreeSlot();
  // Stores the login under the slot of that name, or a free slot. Returns the
  // slot, or -1 when no slot is free, the name is empty, or the user or
  // password does not fit the 255 bytes of its stored form.
  int SetIdentity(std::string_view name, std::string_view user, std::string_view password);
  // The login of a slot; false (and both texts empty) for an empty slot.
  bool GetIdentity(int index, std::string& user, std::string& password) const;

  // Empties the slot; later slots keep their positions.
  void Delete(int index);
  void Clear() { slots_.clear(); }

  // Raises EWriteError when the device does not take the bytes.
  void SaveToStream(QIODevice& stream) const;
  // Replaces the list by the block read from the stream, each entry in its own
  // slot. Raises EReadError on a truncated block; returns false (after reading
  // the whole block, so the stream stays in step) when it held more than 250
  // slots or a negative count: only the first 250 are kept.
  bool LoadFromStream(QIODevice& stream);

 private:
  struct Slot {
    std::string Name;  // empty: a free slot
    std::string User;
    std::string Password;
  };
  bool Valid(int index) const { return index >= 0 && index < Count(); }

  std::vector<Slot> slots_;
};

}  // namespace qlon
