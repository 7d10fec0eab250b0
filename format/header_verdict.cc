// The header verdict: the structural rules, the CD-run scan and the rebuild
// of the derivable fields.

#include "format/header_verdict.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "base/byte_order.h"
#include "format/cd_run.h"
#include "format/layout.h"

namespace jukepak {
namespace {

// A run of CD records ends at the first this many sectors (a cluster) in a
// row without "MPCD": a damaged record stays inside the run (the check
// removes it), a crafted cdCount over empty sectors costs only this many
// reads.
constexpr uint32_t kRunGap = 16;
constexpr uint32_t kChunkSectors = 64;
// The rebuilt layout must explain all but this share of the volume (1 in 100).
constexpr uint64_t kToleratedShare = 100;

struct Fields {
  uint64_t n, fatStart, fatSectors, audioStart, audioClusters, cdStart, cdCount;
  uint64_t audioFirst() const { return audioStart * format::kSectorsPerCluster; }
  uint64_t audioEnd() const { return (audioStart + audioClusters) * format::kSectorsPerCluster; }
};

Fields ReadFields(const uint8_t* h, uint32_t sector_count) {
  return {sector_count,
          LoadLe32(h + format::kFatStartOffset),
          LoadLe32(h + format::kFatSectorsOffset),
          LoadLe32(h + format::kAudioStartOffset),
          LoadLe32(h + format::kAudioClustersOffset),
          LoadLe32(h + format::kCdStartOffset),
          LoadLe32(h + format::kCdCountOffset)};
}

bool IsCdRecord(const uint8_t* sector) {
  return std::memcmp(sector, format::kCdSignature, 4) == 0;
}

// The length of the run of CD records that ends just below sector `end`,
// reading downward no lower than `lowest` and no more than `limit` sectors.
Result ScanCdRun(SectorDevice& device, uint64_t end, uint64_t lowest, uint64_t limit,
                 uint32_t* found) {
  const uint64_t room = end > lowest ? end - lowest : 0;
  const uint64_t most = std::min(limit, room);
  std::vector<uint8_t> chunk(size_t(kChunkSectors) * format::kSectorSize);
  uint64_t scanned = 0, run = 0, gap = 0;
  while (scanned < most && gap < kRunGap) {
    const uint64_t count = std::min<uint64_t>(kChunkSectors, most - scanned);
    const uint64_t first = end - scanned - count;
    Result r = device.Read(uint32_t(first), uint32_t(count), chunk.data());
    if (!r.ok()) return r;
    for (uint64_t k = count; k-- > 0 && gap < kRunGap;) {
      ++scanned;
      if (IsCdRecord(chunk.data() + k * format::kSectorSize)) {
        run = scanned;
        gap = 0;
      } else {
        ++gap;
      }
    }
  }
  *found = uint32_t(run);
  return Result::Ok();
}

// Calls `visit` with each sector of [first, first + count), read in chunks.
template <typename Visit>
Result ForEachSector(SectorDevice& device, uint64_t first, uint64_t count, Visit visit) {
  std::vector<uint8_t> chunk(size_t(kChunkSectors) * format::kSectorSize);
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min<uint64_t>(kChunkSectors, count - done);
    Result r = device.Read(uint32_t(first + done), uint32_t(n), chunk.data());
    if (!r.ok()) return r;
    for (uint64_t k = 0; k < n; ++k) visit(done + k, chunk.data() + k * format::kSectorSize);
    done += n;
  }
  return Result::Ok();
}

bool Tolerated(uint64_t bad, uint64_t total) { return bad * kToleratedShare <= total; }

// Whether the FAT, the placeholder and the CD records lie where `f` says:
// the placeholder's record and its chain 0 -> 1 -> end, at most 1 in 100 FAT
// entries naming no cluster of the audio area, at most 1 in 100 listed start
// clusters outside it.
Result VolumeAgrees(SectorDevice& device, const Fields& f, bool* agrees) {
  *agrees = false;
  uint8_t record[format::kSectorSize];
  Result r = device.Read(uint32_t(f.audioFirst()), 1, record);
  if (!r.ok()) return r;
  if (std::memcmp(record, format::kTrackSignature, 4) != 0) return Result::Ok();

  uint64_t bad_entries = 0;
  bool placeholder = false;
  r = ForEachSector(device, f.fatStart, f.fatSectors, [&](uint64_t index, const uint8_t* sector) {
    for (uint32_t i = 0; i < format::kFatEntriesPerSector; ++i) {
      const uint64_t cluster = index * format::kFatEntriesPerSector + i;
      const uint32_t entry = LoadLe32(sector + 4 * i);
      if (cluster == 0) placeholder = entry == 1;
      if (cluster == 1) placeholder = placeholder && entry == format::kFatEndOfChain;
      const bool valid = cluster < f.audioClusters
                             ? entry == format::kFatFree || entry == format::kFatEndOfChain ||
                                   entry < f.audioClusters
                             : entry == format::kFatFree;
      if (!valid) ++bad_entries;
    }
  });
  if (!r.ok()) return r;
  if (!placeholder || !Tolerated(bad_entries, f.audioClusters)) return Result::Ok();

  uint64_t listed = 0, outside = 0;
  r = ForEachSector(device, f.cdStart, f.cdCount, [&](uint64_t, const uint8_t* cd) {
    const uint32_t tracks = std::min<uint32_t>(cd[format::kCdTrackCountOffset],
                                               format::kMaxTracksPerCd);
    for (uint32_t j = 0; j < tracks; ++j) {
      ++listed;
      if (LoadLe32(cd + format::kCdStartClustersOffset + 4 * j) >= f.audioClusters) ++outside;
    }
  });
  if (!r.ok()) return r;
  *agrees = Tolerated(outside, listed);
  return Result::Ok();
}

// Whether the run `rebuilt` leaves out a CD record that the header as read
// (`read`) lists: a record of the run it names, read upward from its start
// to the first 16 sectors in a row without one (so a crafted count costs
// nothing), that lies outside the rebuilt run and is no copy of a record in
// it. A run that was moved away from the end of the audio area, say, would
// lose its CDs to a rebuild from the records at the end.
Result DropsListedRecords(SectorDevice& device, const Fields& read, const Fields& rebuilt,
                          bool* drops) {
  *drops = false;
  std::set<std::vector<uint8_t>> kept;
  Result r = ForEachSector(device, rebuilt.cdStart, rebuilt.cdCount,
                           [&](uint64_t, const uint8_t* cd) {
                             kept.emplace(cd, cd + format::kCdRecordSize);
                           });
  if (!r.ok()) return r;
  const uint64_t lowest = read.audioFirst() + 2 * format::kSectorsPerCluster;
  const uint64_t first = std::max(read.cdStart, lowest);
  // Records the header places past its audio area or past the drive do not
  // exist, so none of them can be left out.
  const uint64_t end = std::min({read.cdStart + read.cdCount, read.audioEnd(), read.n});
  std::vector<uint8_t> chunk(size_t(kChunkSectors) * format::kSectorSize);
  uint64_t gap = 0;
  for (uint64_t s = first; s < end && gap < kRunGap && !*drops;) {
    const uint64_t count = std::min<uint64_t>(kChunkSectors, end - s);
    r = device.Read(uint32_t(s), uint32_t(count), chunk.data());
    if (!r.ok()) return r;
    for (uint64_t k = 0; k < count && gap < kRunGap && !*drops; ++k) {
      const uint8_t* cd = chunk.data() + k * format::kSectorSize;
      if (!IsCdRecord(cd)) {
        ++gap;
        continue;
      }
      gap = 0;
      const bool inside = s + k >= rebuilt.cdStart && s + k < rebuilt.cdStart + rebuilt.cdCount;
      *drops = !inside && kept.count(std::vector<uint8_t>(cd, cd + format::kCdRecordSize)) == 0;
    }
    s += count;
  }
  return Result::Ok();
}

// The rebuilt header `rebuilt` agrees with the volume and keeps every CD
// record that the header as read lists.
Result Agrees(SectorDevice& device, const Fields& read, const Fields& rebuilt, bool* agrees) {
  Result r = VolumeAgrees(device, rebuilt, agrees);
  if (!r.ok() || !*agrees) return r;
  bool drops = false;
  r = DropsListedRecords(device, read, rebuilt, &drops);
  *agrees = r.ok() && !drops;
  return r;
}

void Rebuild(HeaderAssessment* out, const char* name, uint32_t offset, uint64_t value) {
  const uint32_t was = LoadLe32(out->header.data() + offset);
  if (was == value) return;
  out->rebuilt.push_back({name, offset, was, uint32_t(value)});
  StoreLe32(out->header.data() + offset, uint32_t(value));
}

// The CD run a rebuilt header gets, from the `found` records at the end of
// the audio area: one of the two fields as read is right when it fits the
// run (cdStart on one of its records, cdCount no longer than it); of those,
// the one that keeps more CDs wins, since a CD kept by mistake is checked
// like any other and one dropped is lost. Neither fits: the whole run.
void RebuildCdRun(HeaderAssessment* out, const Fields& f, const Fields& read, uint32_t found) {
  const uint64_t end = f.audioEnd();
  uint64_t count = found;
  const bool start_fits = read.cdStart < end && read.cdStart >= end - found;
  const bool count_fits = read.cdCount <= found;
  if (start_fits || count_fits) {
    count = std::max(start_fits ? end - read.cdStart : 0, count_fits ? read.cdCount : 0);
  }
  Rebuild(out, "cdStart", format::kCdStartOffset, count != 0 ? end - count : 0);
  Rebuild(out, "cdCount", format::kCdCountOffset, count);
}

// A header with the CD run rebuilt and, with `rule`, the layout rule's
// fields: *fits when it keeps every rule and the volume agrees with it.
Result TryCandidate(SectorDevice& device, const uint8_t* header, const Fields& read,
                    const VolumeLayout* rule, HeaderAssessment* a, bool* fits) {
  *fits = false;
  std::memcpy(a->header.data(), header, format::kHeaderSize);
  a->rebuilt.clear();
  if (rule != nullptr) {
    Rebuild(a, "fatStart", format::kFatStartOffset, rule->fatStart);
    Rebuild(a, "fatSectors", format::kFatSectorsOffset, rule->fatSectors);
    Rebuild(a, "audioStart", format::kAudioStartOffset, rule->audioStart);
    Rebuild(a, "audioClusters", format::kAudioClustersOffset, rule->audioClusters);
  }
  const Fields f = ReadFields(a->header.data(), uint32_t(read.n));
  // A layout that runs past the drive cannot be read, let alone agree.
  if (f.audioEnd() > f.n || f.fatStart + f.fatSectors > f.n) return Result::Ok();
  Result r = ScanCdRun(device, f.audioEnd(), f.audioFirst() + 2 * format::kSectorsPerCluster,
                       UINT64_MAX, &a->cdRunFound);
  if (!r.ok()) return r;
  RebuildCdRun(a, f, read, a->cdRunFound);
  if (FirstBrokenRule(a->header.data(), uint32_t(read.n)) != HeaderRule::kSound) {
    return Result::Ok();
  }
  return Agrees(device, read, ReadFields(a->header.data(), uint32_t(read.n)), fits);
}

bool SameLayout(const Fields& f, const VolumeLayout& rule) {
  return f.fatStart == rule.fatStart && f.fatSectors == rule.fatSectors &&
         f.audioStart == rule.audioStart && f.audioClusters == rule.audioClusters;
}

// A header that breaks a rule: its own layout with a rebuilt CD run first
// (only the CD fields were wrong), then the layout rule's for the drive.
Result AssessBrokenHeader(SectorDevice& device, const uint8_t* header, const Fields& read,
                          const VolumeLayout* rule, HeaderAssessment* out) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const VolumeLayout* layout = attempt == 0 ? nullptr : rule;
    if (attempt == 1 && (rule == nullptr || SameLayout(read, *rule))) break;
    HeaderAssessment a;
    a.broken = out->broken;
    bool fits = false;
    Result r = TryCandidate(device, header, read, layout, &a, &fits);
    if (!r.ok()) return r;
    if (fits) {
      a.verdict = HeaderVerdict::kRebuilt;
      *out = std::move(a);
      return Result::Ok();
    }
  }
  return Result::Ok();
}

// A header that keeps every rule: its CD run must hold the records it lists,
// and with no CD the run's place is 0.
Result AssessSoundHeader(SectorDevice& device, const Fields& f, HeaderAssessment* out) {
  out->verdict = HeaderVerdict::kSound;
  if (f.cdCount == 0) {
    Rebuild(out, "cdStart", format::kCdStartOffset, 0);
  } else {
    Result r = ScanCdRun(device, f.audioEnd(), f.audioFirst() + 2 * format::kSectorsPerCluster,
                         f.cdCount, &out->cdRunFound);
    if (!r.ok()) return r;
    if (out->cdRunFound < f.cdCount) {
      HeaderAssessment shortened = *out;
      shortened.cdRunShortened = true;
      RebuildCdRun(&shortened, f, f, out->cdRunFound);
      // Records below a long gap are kept while the FAT holds their tracks.
      bool agrees = false;
      r = Agrees(device, f, ReadFields(shortened.header.data(), uint32_t(f.n)), &agrees);
      if (!r.ok()) return r;
      if (agrees) *out = std::move(shortened);
    }
  }
  if (!out->rebuilt.empty()) out->verdict = HeaderVerdict::kRebuilt;
  return Result::Ok();
}

}  // namespace

HeaderRule FirstBrokenRule(const uint8_t* header, uint32_t sector_count) {
  const Fields h = ReadFields(header, sector_count);
  const uint64_t need_fat = (h.n / 16 + 127) / 128;  // the FAT the whole drive would need
  if (std::memcmp(header, format::kVolumeSignature, 4) != 0) return HeaderRule::kSignature;
  if (h.audioFirst() < need_fat + h.fatStart) return HeaderRule::kAudioStartsTooEarly;
  if (h.fatStart < format::kFirstFatSector) return HeaderRule::kFatStartsTooEarly;
  if (h.audioFirst() < h.fatStart + h.fatSectors) return HeaderRule::kAudioOverlapsFat;
  switch (PlaceOfCdRun(h.audioStart, h.audioClusters, h.cdStart, h.cdCount)) {
    case CdRunPlace::kEmpty:
    case CdRunPlace::kAtAudioEnd:
      break;
    case CdRunPlace::kOutsideAudioArea:
      return HeaderRule::kCdRunOverlapsAudio;
    case CdRunPlace::kNotAtAudioEnd:
      return HeaderRule::kCdRunNotAtEnd;
  }
  if (h.audioEnd() > h.n || h.n - h.audioEnd() >= format::kSectorsPerCluster) {
    return HeaderRule::kAudioAreaMisSized;
  }
  if (h.fatSectors * format::kFatEntriesPerSector < h.audioClusters) {
    return HeaderRule::kFatTooSmall;
  }
  if (h.fatSectors * 2048 > h.n + 2047) return HeaderRule::kFatTooBig;
  return HeaderRule::kSound;
}

Result AssessHeader(SectorDevice& device, uint32_t sector_count, const uint8_t* header,
                    HeaderAssessment* out) {
  HeaderAssessment a;
  std::memcpy(a.header.data(), header, format::kHeaderSize);
  a.broken = FirstBrokenRule(header, sector_count);
  const Fields read = ReadFields(header, sector_count);
  VolumeLayout layout;
  const VolumeLayout* rule = ComputeLayout(sector_count, &layout).ok() ? &layout : nullptr;
  Result r;
  if (a.broken == HeaderRule::kSound && rule != nullptr && !SameLayout(read, *rule)) {
    // A layout other than the rule's keeps every rule; it is kept when the
    // volume agrees with it, and replaced by the rule's when only that agrees.
    bool agrees = false;
    r = VolumeAgrees(device, read, &agrees);
    if (r.ok() && !agrees) {
      HeaderAssessment b;
      bool fits = false;
      r = TryCandidate(device, header, read, rule, &b, &fits);
      if (r.ok() && fits) {
        b.verdict = HeaderVerdict::kRebuilt;
        a = std::move(b);
      }
    }
  }
  if (r.ok() && a.broken == HeaderRule::kSound && a.verdict != HeaderVerdict::kRebuilt) {
    r = AssessSoundHeader(device, read, &a);
  } else if (r.ok() && a.broken != HeaderRule::kSound && a.broken != HeaderRule::kSignature) {
    r = AssessBrokenHeader(device, header, read, rule, &a);
  }
  if (!r.ok()) return r;
  if (a.verdict == HeaderVerdict::kBeyondRepair) {
    a.rebuilt.clear();
    std::memcpy(a.header.data(), header, format::kHeaderSize);
  }
  *out = std::move(a);
  return Result::Ok();
}

}  // namespace jukepak
