#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Path arithmetic on slash-separated text, as the engine's stored paths use it.
// Nothing here touches the disk, expands "~" or resolves symbolic links. Runs
// of slashes count as one; a trailing slash is dropped from every result
// except the root "/". Thread-safe.

// "/Docs/a.txt" → "/Docs"; "/a.txt" → "/"; "/Docs/" → "/"; "/" → "/";
// "a.txt" → ""; "" → "".
[[nodiscard]] std::string deletingLastPathComponent(std::string_view path);

// "/Docs/a.txt" → "a.txt"; "/Docs/" → "Docs"; "/" → "/"; "" → "".
[[nodiscard]] std::string lastPathComponent(std::string_view path);

// "/Docs" + "a.txt" → "/Docs/a.txt"; "/Docs/" + "a.txt" → "/Docs/a.txt";
// "" + "a.txt" → "a.txt"; "/" + "/a.txt" → "/a.txt". The component is taken
// as text: a "/" inside it adds further components, ".." is kept as it is.
[[nodiscard]] std::string appendingPathComponent(std::string_view path, std::string_view component);

// "." components removed, ".." removes the component before it ("/a/../b" →
// "/b"); ".." above the root of an absolute path stays at the root, above the
// start of a relative path it is kept ("../a" stays "../a").
[[nodiscard]] std::string standardizingPath(std::string_view path);

// The components between slashes, a leading "/" kept as its own component
// ("/a/b" → {"/", "a", "b"}), empty components dropped.
[[nodiscard]] std::vector<std::string> pathComponents(std::string_view path);

// "a.tar.gz" → "gz"; "a" → ""; ".profile" → "" (a leading dot starts no extension).
[[nodiscard]] std::string pathExtension(std::string_view path);
[[nodiscard]] std::string deletingPathExtension(std::string_view path);

// True when `path` is absolute (begins with "/").
[[nodiscard]] inline bool isAbsolutePath(std::string_view path) { return path.starts_with('/'); }

} // namespace Platform
