#include "frontend/backup_manifest.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <algorithm>

namespace frontend {
namespace {

using jukepak::Result;
using jukepak::ResultCode;

constexpr char kFormatName[] = "songlift-backup";
constexpr int kFormatVersion = 1;
constexpr qsizetype kMaxTextLength = 47;
// Sizes and offsets are whole numbers a JSON double holds exactly.
constexpr double kLargestExactNumber = 9007199254740992.0;  // 2^53

Result Corrupt(const QString& why) {
  return Result::Error(ResultCode::kCorrupt,
                       std::string("the backup manifest is damaged: ") + why.toStdString());
}

QString PlayerText(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

QJsonObject CopyJson(const BackupCopy& copy) {
  QJsonObject json{{"file", QString::fromStdString(copy.file)},
                   {"size", double(copy.fileSize)},
                   {"sha256", QString::fromStdString(copy.fileSha256)},
                   {"modifiedNs", QString::number(copy.fileModifiedNs)},
                   {"audioSha256", QString::fromStdString(copy.audioSha256)},
                   {"audioOffset", double(copy.audioOffset)}};
  if (!copy.leadingTag.empty()) {
    json.insert("leadingTag", QJsonObject{{"file", QString::fromStdString(copy.leadingTag)},
                                          {"size", double(copy.leadingTagSize)}});
  }
  return json;
}

// Reading: each getter checks the field's presence and type and names the
// field when it fails.
class Fields {
 public:
  Fields(const QJsonObject& object, QString where) : object_(object), where_(std::move(where)) {}

  Result Text(const char* key, std::string* out) const {
    const QJsonValue value = object_.value(key);
    if (!value.isString()) return Missing(key, "a text");
    const QString text = value.toString();
    if (text.size() > kMaxTextLength) return Bad(key, "is longer than 47 characters");
    for (const QChar c : text) {
      if (c.unicode() == 0 || c.unicode() > 0xFF) {
        return Bad(key, "holds a character the player cannot store");
      }
    }
    *out = text.toLatin1().toStdString();
    return Result::Ok();
  }
  Result String(const char* key, std::string* out) const {
    const QJsonValue value = object_.value(key);
    if (!value.isString()) return Missing(key, "a text");
    *out = value.toString().toStdString();
    return Result::Ok();
  }
  Result Path(const char* key, std::string* out) const {
    Result r = String(key, out);
    if (r.ok() && !IsPathInsideFolder(*out)) return Bad(key, "is not a path inside the folder");
    return r;
  }
  Result Digest(const char* key, std::string* out) const {
    Result r = String(key, out);
    const bool hex = out->size() == 64 && std::all_of(out->begin(), out->end(), [](char c) {
                       return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                     });
    if (r.ok() && !hex) return Bad(key, "is not a SHA-256 digest");
    return r;
  }
  Result Number(const char* key, double max, uint64_t* out) const {
    const QJsonValue value = object_.value(key);
    if (!value.isDouble()) return Missing(key, "a number");
    const double number = value.toDouble();
    if (number < 0 || number > max || number != double(uint64_t(number))) {
      return Bad(key, "is out of range");
    }
    *out = uint64_t(number);
    return Result::Ok();
  }
  Result Nanoseconds(const char* key, int64_t* out) const {
    std::string text;
    Result r = String(key, &text);
    bool ok = false;
    if (r.ok()) *out = QString::fromStdString(text).toLongLong(&ok);
    if (r.ok() && !ok) return Bad(key, "is not a whole number");
    return r;
  }
  Result Array(const char* key, QJsonArray* out) const {
    const QJsonValue value = object_.value(key);
    if (!value.isArray()) return Missing(key, "a list");
    *out = value.toArray();
    return Result::Ok();
  }

 private:
  Result Missing(const char* key, const char* kind) const {
    return Corrupt(where_ + " lacks \"" + key + "\" (" + kind + ")");
  }
  Result Bad(const char* key, const char* why) const {
    return Corrupt(where_ + " \"" + key + "\" " + why);
  }

  QJsonObject object_;
  QString where_;
};

Result ReadCopy(const QJsonObject& object, const QString& where, BackupCopy* copy) {
  const Fields fields(object, where);
  Result r = fields.Path("file", &copy->file);
  if (r.ok()) r = fields.Number("size", kLargestExactNumber, &copy->fileSize);
  if (r.ok()) r = fields.Digest("sha256", &copy->fileSha256);
  if (r.ok()) r = fields.Nanoseconds("modifiedNs", &copy->fileModifiedNs);
  if (r.ok()) r = fields.Digest("audioSha256", &copy->audioSha256);
  if (r.ok()) r = fields.Number("audioOffset", kLargestExactNumber, &copy->audioOffset);
  if (!r.ok() || !object.contains("leadingTag")) return r;
  const QJsonValue tag = object.value("leadingTag");
  if (!tag.isObject()) return Corrupt(where + " \"leadingTag\" is not an object");
  const Fields tag_fields(tag.toObject(), where + " leadingTag");
  r = tag_fields.Path("file", &copy->leadingTag);
  if (r.ok()) r = tag_fields.Number("size", kLargestExactNumber, &copy->leadingTagSize);
  const std::string folder = std::string(kLeadingTagFolder) + "/";
  if (r.ok() && copy->leadingTag.compare(0, folder.size(), folder) != 0) {
    return Corrupt(where + " leadingTag lies outside " + kLeadingTagFolder);
  }
  return r;
}

Result ReadTrack(const QJsonValue& value, const QString& where, BackupTrack* track) {
  if (!value.isObject()) return Corrupt(where + " is not an object");
  const QJsonObject object = value.toObject();
  const Fields fields(object, where);
  uint64_t size = 0;
  Result r = fields.Text("title", &track->title);
  if (r.ok()) r = fields.Text("artist", &track->artist);
  if (r.ok()) r = fields.Number("audioSize", double(UINT32_MAX - 1024), &size);
  track->audioSize = uint32_t(size);
  if (!r.ok() || !object.contains("copy")) return r;
  const QJsonValue copy = object.value("copy");
  if (!copy.isObject()) return Corrupt(where + " \"copy\" is not an object");
  track->copy.emplace();
  return ReadCopy(copy.toObject(), where, &*track->copy);
}

Result ReadCd(const QJsonValue& value, const QString& where, BackupCd* cd) {
  if (!value.isObject()) return Corrupt(where + " is not an object");
  const Fields fields(value.toObject(), where);
  QJsonArray tracks;
  Result r = fields.Text("artist", &cd->artist);
  if (r.ok()) r = fields.Text("album", &cd->album);
  if (r.ok()) r = fields.Array("tracks", &tracks);
  if (r.ok() && tracks.size() > 100) return Corrupt(where + " has more than 100 tracks");
  for (qsizetype i = 0; r.ok() && i < tracks.size(); ++i) {
    cd->tracks.emplace_back();
    r = ReadTrack(tracks[i], where + " track " + QString::number(i + 1), &cd->tracks.back());
  }
  return r;
}

}  // namespace

bool BackupManifest::Complete() const {
  return std::all_of(cds.begin(), cds.end(), [](const BackupCd& cd) {
    return std::all_of(cd.tracks.begin(), cd.tracks.end(),
                       [](const BackupTrack& track) { return track.copy.has_value(); });
  });
}

bool IsPathInsideFolder(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part(path.data() + start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

QByteArray ManifestJson(const BackupManifest& manifest) {
  QJsonArray cds;
  for (const BackupCd& cd : manifest.cds) {
    QJsonArray tracks;
    for (const BackupTrack& track : cd.tracks) {
      QJsonObject json{{"title", PlayerText(track.title)},
                       {"artist", PlayerText(track.artist)},
                       {"audioSize", double(track.audioSize)}};
      if (track.copy) json.insert("copy", CopyJson(*track.copy));
      tracks.append(json);
    }
    cds.append(QJsonObject{
        {"artist", PlayerText(cd.artist)}, {"album", PlayerText(cd.album)}, {"tracks", tracks}});
  }
  const QJsonObject root{{"format", kFormatName},
                         {"version", kFormatVersion},
                         {"complete", manifest.Complete()},
                         {"cds", cds}};
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Result ParseManifest(const QByteArray& json, BackupManifest* manifest) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError) return Corrupt(error.errorString());
  const QJsonObject root = document.object();
  if (!document.isObject() || root.value("format").toString() != kFormatName) {
    return Corrupt("it is not a Songlift backup manifest");
  }
  if (root.value("version").toInt() != kFormatVersion) {
    return Corrupt("its version is not " + QString::number(kFormatVersion));
  }
  QJsonArray cds;
  Result r = Fields(root, "the manifest").Array("cds", &cds);
  BackupManifest read;
  for (qsizetype i = 0; r.ok() && i < cds.size(); ++i) {
    read.cds.emplace_back();
    r = ReadCd(cds[i], "CD " + QString::number(i + 1), &read.cds.back());
  }
  if (r.ok()) *manifest = std::move(read);
  return r;
}

Result LoadManifest(const QString& folder, BackupManifest* manifest, bool* found) {
  *manifest = BackupManifest();
  QFile file(QDir(folder).filePath(kManifestName));
  *found = file.exists();
  if (!*found) return Result::Ok();
  if (!file.open(QIODevice::ReadOnly)) {
    return Result::Error(ResultCode::kIoError, "cannot read " + file.fileName().toStdString() +
                                                   ": " + file.errorString().toStdString());
  }
  return ParseManifest(file.readAll(), manifest);
}

Result SaveManifest(const QString& folder, const BackupManifest& manifest) {
  const QString path = QDir(folder).filePath(kManifestName);
  const QByteArray text = ManifestJson(manifest);
  QFile old(path);
  if (old.open(QIODevice::ReadOnly) && old.readAll() == text) return Result::Ok();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    return Result::Error(ResultCode::kIoError, "cannot write " + path.toStdString() + ": " +
                                                   file.errorString().toStdString());
  }
  return Result::Ok();
}

}  // namespace frontend
