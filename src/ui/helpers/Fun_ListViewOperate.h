#pragma once

class FlatListView;

namespace Fun_ListViewOperate {

// Sorts by the clicked column (1-based): a new column sorts ascending, each
// further click on the sort column reverses the order. The direction lives in
// the column's tag as "asc" or "desc"; column 1 is the sort column from the
// start with an empty tag, so its first click sorts descending.
void SortListView(FlatListView& listView, int nColumn);

// Widens the last column so the columns fill the list's width, leaving room
// for a 3D border. Nothing changes when no width is left for it.
void FitLastColumn(FlatListView& listView);

} // namespace Fun_ListViewOperate
