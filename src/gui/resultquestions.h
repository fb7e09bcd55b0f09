#pragma once

#include <QString>
#include <QStringList>

// What the window asks before results are deleted or replaced, without any widget: the result
// files of a video that exist, the counting mode they were made with where a run record says so,
// and the question naming them. An empty question means there is nothing to ask about.
//
//   const QString question = ResultQuestions::replaceQuestion(queue);
//   if (!question.isEmpty() && !userAgrees(question)) return;
namespace ResultQuestions
{

// The counting mode ("classic", "strict") recorded in the run record beside the video's results
// (exportCSV/NAME_run.json, key "countingMode"); empty when there is no readable record.
QString recordedCountingMode(const QString& videoPath);

// The files "Delete Result" removes that exist: the result and an interrupted run's partial one.
QStringList existingResultFiles(const QString& videoPath);

// "Delete the results of NAME …?" naming the files and the mode; empty when there are none.
QString deleteQuestion(const QString& videoPath);

// For the videos a run would analyse, those whose complete results it would replace, each named
// with its mode; empty when it replaces none. Long lists are cut, saying how many more.
QString replaceQuestion(const QStringList& queue);

} // namespace ResultQuestions
