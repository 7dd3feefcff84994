#pragma once
#include <QLineEdit>
#include <QProgressBar>

#include "jobs/job_outcome.h"

namespace quarlink {

// The read-only status line and the 0..100 progress bar of every job dialog
// (object names "status" and "progress", for tests).
QLineEdit* makeStatusLine(QWidget* parent = nullptr);
QProgressBar* makeProgressBar(QWidget* parent = nullptr);

// Shows what an outcome changed: its status text and progress position.
void showOutcome(const JobOutcome& outcome, QLineEdit* status, QProgressBar* progress);

}  // namespace quarlink
