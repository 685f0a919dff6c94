// Members whose work belongs to parts of the control that are not in this build yet: the chart's
// e-mail and the chart view. Each answers false without a report, and its toolbar button stays
// disabled (m_unbuiltCommands), until the part that does the work replaces it here.
#include "core/hlTabulon.h"

bool hlTabulon::EMail_Chart() { return false; }

bool hlTabulon::Refresh_Chart() { return false; }
bool hlTabulon::Set_Chart() { return false; }
bool hlTabulon::Set_ChartOptions() { return false; }
int hlTabulon::chartDataColumns() const { return 0; }
