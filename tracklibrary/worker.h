// The worker thread: scans, fixes and restores run there, one job at a time, so that the window
// keeps answering. The window starts a job, reads its progress when it likes, may ask it to stop
// after the track in hand, and gets the result as a posted message.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "collection.h"

// Posted to the window when a job ends: lParam is the JobResult*, which the window then owns.
constexpr UINT WM_APP_JOB_DONE = WM_APP + 1;

enum class JobKind { kScan, kPreview, kFix, kRestore, kAdd };

struct Job {
  JobKind kind = JobKind::kScan;
  std::string library;                    // the folder, UTF-8
  bool refix = false;                     // fix: refix clashing names too; preview: show that
  std::vector<std::string> files;         // add: the downloaded track files, full paths
  std::vector<std::string> only;          // fix, restore: these full paths alone; empty: all
  std::vector<collection::Track> tracks;  // preview: the tracks of the last scan
};

struct JobResult {
  Job job;
  std::string problem;    // why the library could not be read whole, in words; empty: no problem
  bool gathered = false;  // the library folder was found (rows below are its tracks)
  collection::Gathered found;                // what the last look through the library found
  std::vector<collection::Track> tracks;     // the library as the job leaves it
  std::vector<collection::Outcome> preview;  // the dry run of a fix over tracks
  std::string summary;                       // the summary line of the scan or the run
  std::string report;                        // the run's report for people
};

// Starts job; false when one is running already.
bool StartJob(HWND notify, Job job);
bool JobRunning();
// Asks the job to stop after the track in hand.
void CancelJob();
// The same, and the job skips the scan after its run that only the window would show.
void CancelJobForClosing();
// Whether the job was asked to stop.
bool JobCancelled();
// How far the job has come.
collection::ProgressStep JobProgress();
