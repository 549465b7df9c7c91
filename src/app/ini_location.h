#pragma once
// Which INI file holds the settings. Every program of Brevan that reads the
// settings finds them with this one function.
#include <string>

namespace brevan {

// The INI file of the program `executable` (its absolute path), given the
// values of $XDG_CONFIG_HOME and $HOME (empty when unset).
//
// Beside the executable and named after it (/home/u/bin/brevan ->
// /home/u/bin/brevan.ini) when the executable's folder belongs to the
// effective user and is not a system folder (the root folder, or at or below
// /bin, /boot, /etc, /lib, /lib32, /lib64, /libx32, /opt, /sbin, /usr): a
// copy of the user's own, the build folder. Otherwise, root included, so that
// no one user's file decides for every user of an installed copy:
// $XDG_CONFIG_HOME/brevan/brevan.ini when that is an absolute path, else
// <home>/.config/brevan/brevan.ini, <home> being $HOME or, when that is
// unset, empty or relative, the home folder the password database names
// (os/user_home.h). Empty when that is no absolute path either: a relative
// settings path would take whatever file lies in the working folder.
std::string IniPathFor(const std::string& executable, const std::string& xdgConfigHome, const std::string& home);

}  // namespace brevan
