#pragma once
// The main window's title and its numbers, named once. The values are the window's own
// and must not change: the web tree stores tags in its nodes, the tests and
// the scheduler's journal compare modes and codes, and the scheduler keeps
// a step's error code in "scheduler.dat".
#include <cstdint>

namespace qlon {

inline constexpr const char* kProgramTitle = "Quillon 98";

// What the window holds; the toolbar's main button and the menus follow it.
enum TMainMode : std::uint8_t {
  mmNoWeb = 0,    // no web open: the button makes a new one
  mmWebOpen = 1,  // a web is open: the button starts a capture
  mmRunning = 2,  // a capture or a scheduled job's dial-up runs: the button stops it
};

// The page shown on the right (TMainWin::ShowView).
enum TMainView : std::uint8_t {
  mvHome = 0,        // the help, with the tree on its node
  mvCapture = 1,     // counters, requests and connections
  mvPicture = 2,     // the preview picture alone
  mvBlank = 3,       // nothing
  mvMap = 4,         // the image-map editor
  mvUrls = 5,        // a URL list with its preview
  mvWebConfig = 6,   // the docked capture configuration
  mvSetup = 7,       // the docked options dialog
  mvSearch = 8,      // the URL list under the search pane
  mvHelp = 9,        // the help
  mvScheduler = 10,  // the scheduler window
  mvNone = 0xFF,     // before the first page is shown
};

// Page tags of the web tree's nodes: each selects a page of the window.
enum TWebTreePage : std::uint8_t {
  tpPreferences = 4,  // the options dialog's pages, 4..9
  tpProxy = 5,
  tpBrowser = 6,
  tpConnection = 7,
  tpReport = 8,
  tpFolders = 9,
  tpOptions = 10,  // the capture configuration's pages, 10..17 (10: start URLs)
  tpCaptureFolder = 11,
  tpCaptureKind = 12,
  tpExploration = 13,
  tpFilters = 14,
  tpFileTypes = 15,
  tpSizeLimits = 16,
  tpOtherOptions = 17,
  tpWeb = 18,         // the web's root: the capture page
  tpWebRunning = 19,  // its caption while a capture runs
  tpPages = 20,       // the URL lists, 20..26
  tpImages = 21,
  tpSounds = 22,
  tpVideos = 23,
  tpOthers = 24,
  tpFiltered = 25,
  tpErrors = 26,
  tpImage = 27,  // one captured image
  tpMaps = 28,
  tpMap = 29,  // one image map
  tpSearch = 30,
  tpHelp = 31,
  tpHelpPage = 32,
  tpScheduler = 33,
};

// How TMainWin::Dial ends.
enum TDialResult : std::uint8_t {
  drConnected = 0,  // a connection is there (dialled, found open, or none needed)
  drFailed = 1,     // with the dial-up layer's error text when it has one
  drCancelled = 2,  // ended without an error code
};

// The error a scheduled step or job ends with (index of the scheduler's
// error texts).
enum TTaskError : int {
  teNone = 0,
  teConnection = 1,  // the job's dial-up failed
  teWebLoad = 5,     // the step's web cannot be opened
  teWebSave = 7,     // the web's files cannot be written: its disk is full
  teUrl = 8,         // the run captured nothing, or failed
};

}  // namespace qlon
