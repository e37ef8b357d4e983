// The pattern search on Linux: Vectorscan's literal matcher in streaming
// mode, with caseless matching (Vectorscan folds ASCII letters only, as the
// scanner must) and one report per fragment.
#include <hs/hs.h>

#include <stdexcept>

#include "platform/pattern_search.h"

namespace tarnscan::platform {
namespace {

struct DatabaseDeleter {
  void operator()(hs_database_t* db) const { hs_free_database(db); }
};
struct ScratchDeleter {
  void operator()(hs_scratch_t* scratch) const { hs_free_scratch(scratch); }
};
using Database = std::unique_ptr<hs_database_t, DatabaseDeleter>;
using Scratch = std::unique_ptr<hs_scratch_t, ScratchDeleter>;

class VectorscanSet;

class VectorscanStream final : public PatternStream {
 public:
  VectorscanStream(const VectorscanSet& set, hs_stream_t* stream, Scratch scratch);
  ~VectorscanStream() override;
  void Feed(std::string_view block) override;
  const std::vector<bool>& Found() const override;
  bool AllFound() const override { return found_count_ == searchable_; }

 private:
  static int OnMatch(unsigned id, unsigned long long, unsigned long long, unsigned, void* self);
  void Close();

  hs_stream_t* stream_;
  Scratch scratch_;
  std::vector<bool> found_;
  size_t found_count_ = 0;
  size_t searchable_ = 0;
};

class VectorscanSet final : public PatternSet {
 public:
  explicit VectorscanSet(const std::vector<std::string>& patterns) : patterns_(patterns) {
    std::vector<const char*> literals;
    std::vector<size_t> lengths;
    std::vector<unsigned> flags;
    for (size_t i = 0; i < patterns.size(); ++i) {
      if (patterns[i].empty()) continue;
      literals.push_back(patterns[i].data());
      lengths.push_back(patterns[i].size());
      flags.push_back(HS_FLAG_CASELESS | HS_FLAG_SINGLEMATCH);
      ids_.push_back(static_cast<unsigned>(i));
    }
    if (literals.empty()) return;
    hs_database_t* db = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_compile_lit_multi(literals.data(), flags.data(), ids_.data(), lengths.data(),
                             static_cast<unsigned>(literals.size()), HS_MODE_STREAM, nullptr,
                             &db, &error) != HS_SUCCESS) {
      const std::string message = error ? error->message : "unknown error";
      hs_free_compile_error(error);
      throw std::runtime_error("cannot compile the patterns: " + message);
    }
    database_.reset(db);
    hs_scratch_t* scratch = nullptr;
    if (hs_alloc_scratch(db, &scratch) != HS_SUCCESS) throw std::bad_alloc();
    prototype_.reset(scratch);
  }

  std::unique_ptr<PatternStream> Open() const override {
    hs_stream_t* stream = nullptr;
    hs_scratch_t* scratch = nullptr;
    if (database_) {
      if (hs_clone_scratch(prototype_.get(), &scratch) != HS_SUCCESS ||
          hs_open_stream(database_.get(), 0, &stream) != HS_SUCCESS) {
        hs_free_scratch(scratch);
        throw std::bad_alloc();
      }
    }
    return std::make_unique<VectorscanStream>(*this, stream, Scratch(scratch));
  }
  size_t Size() const override { return patterns_.size(); }
  size_t Searchable() const { return ids_.size(); }

 private:
  std::vector<std::string> patterns_;
  std::vector<unsigned> ids_;
  Database database_;
  Scratch prototype_;
};

VectorscanStream::VectorscanStream(const VectorscanSet& set, hs_stream_t* stream,
                                   Scratch scratch)
    : stream_(stream),
      scratch_(std::move(scratch)),
      found_(set.Size(), false),
      searchable_(set.Searchable()) {}

VectorscanStream::~VectorscanStream() { Close(); }

void VectorscanStream::Close() {
  if (stream_ != nullptr) {
    hs_close_stream(stream_, scratch_.get(), OnMatch, this);
    stream_ = nullptr;
  }
}

int VectorscanStream::OnMatch(unsigned id, unsigned long long, unsigned long long, unsigned,
                              void* self) {
  auto* stream = static_cast<VectorscanStream*>(self);
  if (!stream->found_[id]) {
    stream->found_[id] = true;
    ++stream->found_count_;
  }
  return 0;
}

void VectorscanStream::Feed(std::string_view block) {
  if (stream_ == nullptr || block.empty()) return;
  hs_scan_stream(stream_, block.data(), static_cast<unsigned>(block.size()), 0, scratch_.get(),
                 OnMatch, this);
}

const std::vector<bool>& VectorscanStream::Found() const { return found_; }

}  // namespace

std::unique_ptr<PatternSet> MakePatternSet(const std::vector<std::string>& patterns) {
  // Vectorscan's literal compiler takes a fragment that starts with a NUL
  // byte for an empty one and refuses it; such lists use the portable set.
  for (const auto& pattern : patterns) {
    if (!pattern.empty() && pattern.front() == '\0') return MakeAhoCorasickSet(patterns);
  }
  return std::make_unique<VectorscanSet>(patterns);
}

}  // namespace tarnscan::platform
