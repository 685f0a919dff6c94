// Members whose work belongs to parts of the control that are not in this build yet: the results
// pipeline, the grid commands, files, printing and export, and the summary, cross-tab and chart
// views. Each answers false without a report, and its toolbar button stays disabled
// (m_unbuiltCommands), until the part that does the work replaces it here.
#include "core/hlTabulon.h"

bool hlTabulon::Apply_Query() { return false; }
bool hlTabulon::EMail_Chart() { return false; }
bool hlTabulon::Find_Item(qint32) { return false; }
bool hlTabulon::Resize_Cols() { return false; }
bool hlTabulon::Set_Query() { return false; }
bool hlTabulon::Set_RecentFiles(const QString &) { return false; }
bool hlTabulon::Show_Details() { return false; }
bool hlTabulon::Open_SQL(const QString &) { return false; }
bool hlTabulon::Move_Record(bool) { return false; }
bool hlTabulon::Select_All() { return false; }
bool hlTabulon::View_Columns() { return false; }
bool hlTabulon::Show_Sort() { return false; }
bool hlTabulon::Export_Data() { return false; }
bool hlTabulon::Save_SQL(const QString &) { return false; }
bool hlTabulon::Print_Grid() { return false; }
bool hlTabulon::Refresh_Results(bool, bool, bool) { return false; }
bool hlTabulon::Show_ResultsCount() { return false; }
bool hlTabulon::Show_Find() { return false; }
bool hlTabulon::Copy_Sel(bool) { return false; }
bool hlTabulon::Paste_Sel() { return false; }

bool hlTabulon::Refresh_Chart() { return false; }
bool hlTabulon::Refresh_Summary() { return false; }
bool hlTabulon::Refresh_XTab() { return false; }
bool hlTabulon::Get_Fields() { return false; }
bool hlTabulon::Populate_Fields() { return false; }
bool hlTabulon::Position_Combos() { return false; }
bool hlTabulon::Set_Chart() { return false; }
bool hlTabulon::Set_ToolTips() { return false; }
bool hlTabulon::Set_ChartOptions() { return false; }
bool hlTabulon::Show_SortIcon() { return false; }
bool hlTabulon::Remove_Filter() { return false; }
bool hlTabulon::Get_Results(const QString &) { return false; }
int hlTabulon::chartDataColumns() const { return 0; }
