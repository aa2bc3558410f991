#pragma once
// Shared vocabulary of the request client, the capture run and the URL lists.
//
// The numeric values of these enumerations are stored (record states, task
// results) and index the text tables of Texts.h: never reorder them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qlon {

// Equality ignoring the case of ASCII letters: the comparison of host names,
// header names and the keys of the small string lists.
constexpr bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

enum THTTP_METHOD : std::uint8_t { mGET, mPOST, mHEAD };

enum THTTP_STATE : std::uint8_t {
  sIdle,
  sClose,
  sLookup,
  sConnexion,
  sRequest,
  sReceive,
  sError,
};

enum TReceiveState : std::uint8_t { rsNoRec, rsHeader, rsContent };

// Why a request failed; the HTTP status travels beside it.
enum THTTP_ERROR : std::uint8_t {
  heNone,
  heAbort,
  heNoHost,           // host name not found
  heFail,             // connection failed, local file missing
  heTimeout,
  heProxy,            // proxy name not found
  heHttpError,        // status 204 to 206
  heHttpClientError,  // status 400 to 499
  heHttpServerError,  // status 500 and above
  heBadHttpHeader,    // connection closed before a usable header
  heFTPError,         // unexpected FTP reply
};

// Which records a URL list shows.
enum TWUrlListStyle : std::uint8_t {
  usNone,
  usHtml,
  usFile,
  usImages,
  usSound,
  usVideo,
  usErrors,
  usFiltered,
  usRequest,
  usMapList,
};

// Column flags of a URL list.
inline constexpr int kColDefault = 0x100;  // a column of the default layout
inline constexpr int kColWide = 0x001;     // URL, Fichier and Page de référence

// One column of a URL list.
struct TColHeader {
  std::string Caption;
  std::int32_t Id = 0;
  std::int32_t Width = 0;  // pixels
  std::int32_t Flags = 0;
  bool operator==(const TColHeader&) const = default;
};

}  // namespace qlon
