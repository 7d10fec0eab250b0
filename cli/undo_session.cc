#include "cli/undo_session.h"

#include <cstdio>

namespace songlift::cli {

UndoSession::UndoSession(std::string path, std::unique_ptr<jukepak::undo::FileUndoStore> store,
                         jukepak::SectorDevice* target, const std::string& operation)
    : path_(std::move(path)), store_(std::move(store)), device_(target, store_.get(), operation) {}

int UndoSession::Start(const CliContext& context, const std::string& path,
                       const std::string& operation, jukepak::SectorDevice* target,
                       std::unique_ptr<UndoSession>* out) {
  std::unique_ptr<jukepak::undo::FileUndoStore> store;
  const jukepak::Result created = jukepak::undo::FileUndoStore::Create(path, &store);
  if (!created.ok()) return context.Fail(created.message());
  out->reset(new UndoSession(path, std::move(store), target, operation));
  return kExitOk;
}

int UndoSession::Finish(const CliContext& context) {
  const jukepak::Result finished = device_.Finish();
  if (!finished.ok()) {
    return context.Fail("the undo file " + path_ + " lacks its digest (" + finished.message() +
                        "); 'songlift-cli undo' still restores it, unchecked");
  }
  std::fprintf(stderr, "songlift-cli: undo file %s keeps the old content of %llu sectors\n",
               path_.c_str(), static_cast<unsigned long long>(device_.savedSectors()));
  return kExitOk;
}

}  // namespace songlift::cli
