#pragma once
// The error report of a capture: every saved HTML page is scanned for links
// to records that failed (state 4), and "Index/_Rapport.htm" lists, per
// page, the failed links it holds, and, per failed link, the pages that
// hold it. The page-to-link relation is a TStringGraph: pages are nodes of
// tag 1, failed links nodes of tag 0. Then the addresses the capture file
// had no number for (TWeb::CountLeftOut): how many, why, and each one.
//
// The records the last update found gone from the server (404 or 410; they
// keep their copies, TWebFile::IsGone) follow under their own heading,
// counted, each with the pages that link to it. A gone page may link to
// another: that relation has a direction, so it is kept apart from Graph.
//
// A rewritten page names its links' real URLs in OLDREF, which is what the
// scan reads there. URLs are escaped where the report writes them.
//
// The progress goes through the same host interface as link resolution;
// ProcessMessages runs between records and between report entries, so a
// Cancel (TRapportError::Cancel) stops the work; a cancelled scan writes no
// report.
#include <string>
#include <unordered_map>
#include <vector>

#include "DlgResolve.h"
#include "StringGraph.h"

namespace qlon {

class TWeb;

inline constexpr const char* kReportPage = "Index/_Rapport.htm";

class TRapportError {
 public:
  TRapportError(TWeb& web, IResolveHost& host) : web_(web), host_(host) {}

  // rrFinished when the report was written, rrCancelled; throws EWriteError
  // when the report cannot be written.
  int Run();
  void Cancel() { cancelled_ = true; }
  void Scan();
  void WriteReport();

  TStringGraph Graph;
  // The gone records in the tree's order, and the pages linking to each.
  std::vector<std::string> Gone;
  std::unordered_map<std::string, std::vector<std::string>> GoneLinkedFrom;

 private:
  TWeb& web_;
  IResolveHost& host_;
  bool cancelled_ = false;
};

}  // namespace qlon
