#pragma once
// What the program and its helper cvconfmanager-helper agree on: the helper's
// name beside the program, its verbs and its exit statuses (see main.cpp).

namespace Helper {

constexpr char FileName[] = "cvconfmanager-helper";
constexpr char ReadVerb[] = "read";
constexpr char WriteVerb[] = "write";
constexpr char OverwriteWord[] = "overwrite";

// pkexec answers 126 and 127 itself when it obtained no authorization.
enum Status { Done = 0, Changed = 1, Failed = 2, Usage = 3 };

}  // namespace Helper
