#pragma once
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <functional>
#include <initializer_list>
#include <string>

#include "core/jobs/job_outcome.h"

namespace quarlink {

// The read-only status line and the 0..100 progress bar of every job dialog
// (object names "status" and "progress", for tests).
QLineEdit* makeStatusLine(QWidget* parent = nullptr);
QProgressBar* makeProgressBar(QWidget* parent = nullptr);
// The dialog's buttons, right-aligned in one row.
QHBoxLayout* makeButtonRow(std::initializer_list<QWidget*> buttons);

// Shows what an outcome changed: its status text and progress position.
void showOutcome(const JobOutcome& outcome, QLineEdit* status, QProgressBar* progress);

// Sets a status line so that its beginning shows, with the whole text as its tooltip.
void setStatusText(QLineEdit* status, const QString& text);

// Widens a status line to hold the longest of a dialog's fixed texts.
void fitStatusLine(QLineEdit* status, std::initializer_list<const char*> texts);

// From a job's worker thread: moves the bar to `value` on the GUI thread, so
// the bar names the code whose page is being fetched rather than the last one.
void showProgressBeforeStep(QProgressBar* progress, int value);

// A job's hook for lines said inside a step (a rate-limit wait): each goes to
// `status` on the GUI thread.
std::function<void(const std::string&)> statusFromWorker(QLineEdit* status);

}  // namespace quarlink
