#pragma once

#include <filesystem>

namespace Platform {

// The one place that reads where the user's folders are: $HOME and the XDG
// base-directory variables. Nothing falls back to a shared folder such as
// "/tmp", where another user could have been first.

// $HOME when it holds an absolute path, else the home of the password
// database's entry for this user; empty when there is none.
[[nodiscard]] std::filesystem::path homeDirectory();

// The user's base folders of the XDG base directory specification.
enum class BaseDirectory {
    // $XDG_DATA_HOME, else ~/.local/share
    data,
    // $XDG_CONFIG_HOME, else ~/.config
    config,
    // $XDG_STATE_HOME, else ~/.local/state
    state,
};

// The folder of `kind`: the variable when it holds an absolute path (others
// are ignored, as the XDG base-directory rules say), else the default below
// `homeDirectory()`; empty when there is no home.
[[nodiscard]] std::filesystem::path baseDirectory(BaseDirectory kind);

} // namespace Platform
