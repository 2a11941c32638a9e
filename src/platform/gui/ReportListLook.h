#pragma once

class QTreeView;

// The look and handling every report-style list of the program shares: flat
// rows selected whole and one at a time, no editing, and a header that
// neither sorts by itself nor lets its columns move, since sorting follows
// the program's own rule.
namespace ReportListLook {

void Apply(QTreeView& view);

} // namespace ReportListLook
