#pragma once
// Paths inside an archive: their levels, and the levels of one that is
// extracted below a directory.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hpi {

// The non-empty levels of a path inside an archive; '\' and '/' both separate.
std::vector<std::string_view> SplitLevels(std::string_view archivePath);

// The same levels walked in place, without building a vector:
// `for (std::string_view level : LevelRange(path))`.
class LevelRange {
 public:
  explicit LevelRange(std::string_view path) : path_(path) {}
  class Iterator {
   public:
    Iterator(std::string_view path, size_t pos) : path_(path), pos_(pos) { Settle(); }
    std::string_view operator*() const { return path_.substr(pos_, end_ - pos_); }
    Iterator& operator++() {
      pos_ = end_;
      Settle();
      return *this;
    }
    bool operator!=(const Iterator& o) const { return pos_ != o.pos_; }

   private:
    // Skips separators to the next level's start and finds its end.
    void Settle() {
      while (pos_ < path_.size() && (path_[pos_] == '\\' || path_[pos_] == '/')) ++pos_;
      end_ = pos_;
      while (end_ < path_.size() && path_[end_] != '\\' && path_[end_] != '/') ++end_;
    }
    std::string_view path_;
    size_t pos_, end_ = 0;
  };
  Iterator begin() const { return Iterator(path_, 0); }
  Iterator end() const { return Iterator(path_, path_.size()); }

 private:
  std::string_view path_;
};

// The levels of `archivePath` as a path below a directory it is extracted to:
// "." and empty levels dropped. Returns nullopt for a path that could leave
// that directory (a ".." level, a leading separator, a drive such as "C:") and
// for a path with no level at all.
std::optional<std::vector<std::string_view>> LevelsBelowTarget(std::string_view archivePath);

// The path below a target directory that extraction writes `archivePath` to,
// levels joined with '/' ("" for a path it does not write): two entries with
// the same one would land on one file.
std::string DiskPathBelowTarget(std::string_view archivePath);

}  // namespace hpi
