// The pending additions: songs collected on the PC, grouped into pending CDs
// by their tags (album and album artist) and ordered by disc and track
// number, until the sync writes them to the player (sync_job.cc). MP3 files
// go to the player as they are; files in other audio formats are converted
// by the sync (their size is an estimate until then).
//
// Threads: these run on the front end's thread. They take the model's
// pendingMutex for every look at the list, so they may run while the sync
// job consumes it on the worker; the job never changes a pending CD that
// has work under them and moves nothing in the list without that lock.
// Every change is sent as a snapshot of the whole list (PendingListChanged)
// once the lock is released. Entries are named by their node ids.
//
// Messages: the Result texts are the messages the window shows in a message
// box and the command-line tool prints on stderr (after the file's name).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "volume/player_volume.h"
#include "volume/sync_options.h"
#include "volume/volume_model.h"

namespace jukepak {

inline constexpr char kCouldNotOpenFile[] = "Could not open file!";
inline constexpr char kCouldNotReadFile[] = "Could not read file!";
inline constexpr char kFileChanged[] = "The file has changed since it was added; add it again!";
inline constexpr char kNoMoreTracks[] = "No more tracks allowed on this CD";
inline constexpr char kFileTooLarge[] = "The file is too large for the player!";
inline constexpr char kFileEmpty[] = "The file is empty!";
inline constexpr char kPendingBusy[] = "Pending songs cannot be changed while a sync runs.";
inline constexpr char kNewCdAlbum[] = "New CD";
inline constexpr char kUnknownArtist[] = "Unknown";

// The largest audio size a track may have: its record's 32-bit size field
// holds the audio bytes plus the 1024-byte record.
inline constexpr uint64_t kMaxSongAudioBytes = 0xFFFFFFFFull - 1024;

inline constexpr char kVariousArtists[] = "Various Artists";

// Reads `path` into a new pending song, its kind through ProbeSong
// (song_probe.h) and its texts through `media`'s tag reader:
// - an MP3 keeps its bytes less a trailing ID3v1 block as its size; another
//   format is marked for conversion, its size estimated at `kbps`;
// - a song with tags takes its title (else its file name), artist (else its
//   album artist, else "Unknown"), track and disc numbers, and the album,
//   else `default_album_latin1` when given, else "New CD"; its CD's artist
//   is the album artist, else "Various Artists" for a compilation, else its
//   own artist. Texts go through PlayerFieldFromUtf8;
// - a file without tags gets artist "Unknown", its file name (extension
//   kept, shortened to 47 characters keeping the extension) as title and
//   "New CD".
// Fails as ProbeSong does, and with "The file is too large for the
// player!" (kLimit); *song is untouched then.
Result PrepareSong(const std::string& path, const std::optional<std::string>& default_album_latin1,
                   std::unique_ptr<TrackNode>* song, std::string* album_latin1,
                   const MediaLibraries& media = DefaultMediaLibraries(),
                   uint32_t kbps = kDefaultBitrateKbps);

// Adds one file (PrepareSong with the volume's libraries and bitrate, then
// AddToPendingCd) and sends the pending list. `default_album` is UTF-8 (a
// folder name).
Result AddFile(PlayerVolume& volume, const std::string& path,
               const std::optional<std::string>& default_album);
// AddFile without the event, for a caller that adds many files and sends the
// list once (PlayerVolume::PublishPending).
Result AddFileQuietly(PlayerVolume& volume, const std::string& path,
                      const std::optional<std::string>& default_album);

// Places `song` into the pending CD with work keyed by (album, the song's
// CD artist), creating it (it shows last) when there is none. A song
// with a track number goes in front of the first song of a later (disc,
// track), a disc number of 0 counting as 1; a song without one goes last.
// A song whose path is already pending under the same key is dropped
// silently (Ok). A song that would take the CD past 100 tracks (pending songs
// of that key plus the tracks of the player's CD of that key) is dropped
// with "No more tracks allowed on this CD" (kLimit). Sends nothing: the
// caller sends the list once it has released the lock.
Result AddToPendingCd(VolumeModel& model, const std::string& album_latin1,
                      std::unique_ptr<TrackNode> song) REQUIRES(model.pendingMutex);
// AddToPendingCd into the pending CD of (album, `cd_artist_latin1`), the
// artist taken as given, even an empty one: a song restored from a backup
// keeps its CD's texts exactly.
Result AddToPendingCdOfArtist(VolumeModel& model, const std::string& album_latin1,
                              const std::string& cd_artist_latin1,
                              std::unique_ptr<TrackNode> song) REQUIRES(model.pendingMutex);
// The same for a caller that holds no lock: takes it, then sends the pending
// list.
Result AddToPendingCdOfArtist(PlayerVolume& volume, const std::string& album_latin1,
                              const std::string& cd_artist_latin1,
                              std::unique_ptr<TrackNode> song);

struct AddFailure {
  std::string path;  // the file (or playlist entry) as named
  Result result;
};

// "NAME: reason", NAME the text after the path's last "/".
std::string DescribeFailure(const AddFailure& failure);

struct DropOptions {
  bool includeSubfolders = true;  // folders' sub-folders are entered
};

// Adds dropped paths in the order given: a folder adds its audio files
// (audio_folder.h), in its sub-folders too when `options` say so, each with
// the name of the folder it lies in as default album; a playlist
// (playlist.h) adds its entries in order (a URL, a playlist that lists
// itself and a missing file are failures); anything else is added as a file
// whatever its extension. Returns every failure, one per file (the caller
// then refreshes the size labels). A folder without audio files adds
// nothing and reports nothing.
std::vector<AddFailure> DropFiles(PlayerVolume& volume, const std::vector<std::string>& paths,
                                  const DropOptions& options = DropOptions());

// Estimates the size of every pending song to be converted anew at the
// volume's bitrate and relabels it; CDs that a running sync has taken keep
// theirs. Recomputes the download estimate.
void EstimateConversions(PlayerVolume& volume);

// The songs that will end on the player CD of (album, artist) once the
// pending list is written: that CD's tracks on the player and every pending
// song of the key, in whichever pending CD it waits. An addition or a move
// into the key is refused when this has reached 100.
uint32_t SongsBoundForKey(const VolumeModel& model, const std::string& album,
                          const std::string& artist) REQUIRES(model.pendingMutex);

// False while a sync runs: the pending tree's edits (delete, rename, move)
// are refused then, so that no edit touches a song the job is writing.
bool PendingEditsAllowed(const PlayerVolume& volume);

// Takes the song `song_id` out of its pending CD (later songs move up); a
// CD left without songs goes too. kBusy while a sync runs, kNotFound when no
// pending song has that id.
Result RemovePendingSong(PlayerVolume& volume, uint64_t song_id);
// Takes the pending CD `cd_id` out of the list with all its songs. kBusy
// while a sync runs, kNotFound when no pending CD has that id.
Result RemovePendingCd(PlayerVolume& volume, uint64_t cd_id);
// Takes several CDs and songs out at once (what the user highlighted), with
// one event. A song whose CD goes too is no failure. The first failure is
// returned; the others are still removed.
Result RemovePendingEntries(PlayerVolume& volume, const std::vector<uint64_t>& cd_ids,
                            const std::vector<uint64_t>& song_ids);

// "M.hh Mb": whole megabytes, a point and the hundredths, truncated.
std::string SizeLabelText(uint32_t kilobytes);

struct SizeLabelUpdate {
  std::string download;  // the "Download Size:" text
  std::string free;      // the "Free Space:" text
  bool downloadChanged = false;
  bool freeChanged = false;
};

// What the two size labels show. Refresh recomputes the download estimate
// and, only while the player is ready and idle, the free space (while a job
// runs the value it computed last stands; with no driver or no volume it is
// 0), and says which text differs from the
// one shown before. The first refresh changes both. Front end's thread.
// Update does the same for values the front end already has (the
// snapshots' kilobytes).
class SizeLabels {
 public:
  SizeLabelUpdate Refresh(PlayerVolume& volume);
  SizeLabelUpdate Update(uint32_t download_kilobytes, uint32_t free_kilobytes);

 private:
  uint32_t shown_download_ = 0xFFFFFFFF;
  uint32_t shown_free_ = 0xFFFFFFFF;
  uint32_t free_kilobytes_ = 0;
};

}  // namespace jukepak
