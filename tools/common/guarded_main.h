#pragma once
// The body of every command-line tool's main: an exception that would end the
// program (running out of memory above all) becomes one message on standard
// error and exit status 2 instead of an abort.
#include <exception>
#include <iostream>
#include <new>
#include <string_view>
#include <utility>

template <class Body>
int RunGuarded(std::string_view Program, Body&& Run) {
  try {
    return std::forward<Body>(Run)();
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << Program << ": out of memory; nothing more was done\n";
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << Program << ": stopped by an unexpected error: " << e.what() << "\n";
  }
  return 2;
}
