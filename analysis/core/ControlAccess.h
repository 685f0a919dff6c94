#pragma once

#include "hlTabulon/hlTabulon.h"

namespace analysis {

class QueryRunner;

// The steps of the results pipeline and of the views that another part may take over (tests
// record them); each answers as the control's own step would.
class ControlSteps {
public:
    virtual ~ControlSteps() = default;
    virtual bool Refresh_Results(bool blnSorting, bool blnRemoveFilter, bool blnRemoveQBFilter) = 0;
    virtual bool Show_ResultsCount() = 0;
    virtual bool Refresh_Chart() = 0;
    virtual bool Refresh_Summary() = 0;
    virtual bool Refresh_XTab() = 0;
    virtual bool Get_Fields() = 0;
    // True marks the field lists loaded, as the control's own step does.
    virtual bool Populate_Fields() = 0;
    virtual bool Set_ChartOptions() = 0;
};

// Inside a control past its public members, for the library's own tests: a host has neither.
struct ControlAccess {
    // The query the control runs and shows: its statement, results, filters and sort order.
    static QueryRunner &runner(hlTabulon &control) { return *control.m_query; }
    static const QueryRunner &runner(const hlTabulon &control) { return *control.m_query; }
    // Hands the control's steps to `steps` (not owned) until it is set back to nullptr.
    static void setSteps(hlTabulon &control, ControlSteps *steps) { control.m_steps = steps; }
    // Makes the chart, summary and cross-tab views' parts now, as their first use would.
    static void makeViews(hlTabulon &control) { control.makeViews(); }
    static bool viewsMade(const hlTabulon &control) { return control.m_blnViewsMade; }
    // The column menu, made now if it has not opened yet.
    static ::qryMenu *columnMenu(hlTabulon &control) { return control.columnMenu(); }
};

} // namespace analysis
