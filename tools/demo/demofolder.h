#pragma once

#include <QString>

// The demo folder a new user can start with: a generated sample video with its mask and counting
// area, in the user's data folder (e.g. ~/.local/share/Orvane/demo). Made by orvane-demo and by
// the window's first-start offer alike.
namespace DemoFolder
{

QString location();

// Makes whatever of the demo is missing in location(). Returns an empty text when the folder is
// ready, otherwise what went wrong. The video appears only once it is complete.
QString prepare();

} // namespace DemoFolder
