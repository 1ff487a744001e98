#include "SettingsStore.h"

#include "DecimalInteger.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace tarvo {
namespace {

// Qt reads a quoted value on to its closing quote, across line breaks and without a FormatError:
// a quote left open in a hand-edited file swallows every line after it. Qt itself writes a line
// break inside a value as an escape, so a quoted text that spans lines is such damage.
bool QuoteLeftOpen(const QByteArray& text) {
  bool quoted = false;
  bool lineStart = true;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (lineStart && !quoted && c == ';') {
      // A comment line, which Qt skips whole.
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    lineStart = c == '\n';
    if (c == '\\') {
      // Qt escapes a quote in a value as \", quoted or not.
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if ((c == '\n' || c == '\r') && quoted) {
      return true;
    }
  }
  return quoted;
}

QString SystemReason(const QString& path, int error) {
  return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

TQSettingsStore::TQSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Quillmoor"), QStringLiteral("tarvo"))) {
  // The user's own file only: values from system-wide or organisation-wide files would be
  // read as if the user had stored them, yet never written back there.
  settings_->setFallbacksEnabled(false);
}

TQSettingsStore::TQSettingsStore(const QString& fileName)
    : settings_(std::make_unique<QSettings>(fileName, QSettings::NativeFormat)) {}

bool TQSettingsStore::Open() {
  // QSettings reads the file lazily; listing the keys reads it now, so that an unreadable file
  // shows in the status. A FormatError still leaves every line QSettings could parse, and those
  // are used: a damaged file gives what can be read.
  const QStringList keys = settings_->childKeys();
  if (settings_->status() == QSettings::AccessError) return false;
  keysByFoldedName_.clear();
  for (const QString& key : keys) keysByFoldedName_.emplace(key.toCaseFolded(), key);
  QFile file(settings_->fileName());
  quoteLeftOpen_ = file.open(QIODevice::ReadOnly) && QuoteLeftOpen(file.readAll());
  return true;
}

bool TQSettingsStore::Damaged() const {
  return settings_->status() == QSettings::FormatError || quoteLeftOpen_;
}

QString TQSettingsStore::KeepBackup() {
  const QString backup = settings_->fileName() + QStringLiteral(".bak");
  // An older backup gives way: it is the copy of a file the user has run with since.
  QFile::remove(backup);
  return QFile::copy(settings_->fileName(), backup) ? backup : QString();
}

QString TQSettingsStore::FileName() const { return settings_->fileName(); }

QString TQSettingsStore::StoredKey(const QString& name) const {
  const auto found = keysByFoldedName_.find(name.toCaseFolded());
  return found == keysByFoldedName_.end() ? name : found->second;
}

QStringList TQSettingsStore::Names() const {
  QStringList names;
  for (const auto& [folded, key] : keysByFoldedName_) names << key;
  return names;
}

TReadStatus TQSettingsStore::ReadInteger(const QString& name, int32_t& value) const {
  const QVariant stored = settings_->value(StoredKey(name));
  if (!stored.isValid()) return TReadStatus::Absent;
  switch (stored.typeId()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:  // @Variant numbers written by other programs
      break;
    default:
      return TReadStatus::WrongType;
  }
  switch (ParseDecimalInt32(stored.toString(), value)) {
    case TDecimalParse::Ok:
      return TReadStatus::Ok;
    case TDecimalParse::OutOfRange:
      return TReadStatus::Unreadable;
    case TDecimalParse::NotANumber:
      break;
  }
  return TReadStatus::WrongType;
}

TReadStatus TQSettingsStore::ReadString(const QString& name, QString& value) const {
  const QVariant stored = settings_->value(StoredKey(name));
  if (!stored.isValid()) return TReadStatus::Absent;
  switch (stored.typeId()) {
    case QMetaType::QString:
      value = stored.toString();
      return TReadStatus::Ok;
    case QMetaType::QStringList:
      // QSettings splits an unquoted text at its commas; a hand-written "4x6, wide" is one text.
      value = stored.toStringList().join(QStringLiteral(", "));
      return TReadStatus::Ok;
    case QMetaType::QByteArray:
      value = QString::fromUtf8(stored.toByteArray());
      return TReadStatus::Ok;
    default:
      return TReadStatus::WrongType;
  }
}

bool TQSettingsStore::WriteInteger(const QString& name, int32_t value) {
  settings_->setValue(StoredKey(name), value);
  return true;
}

bool TQSettingsStore::WriteString(const QString& name, const QString& value) {
  settings_->setValue(StoredKey(name), value);
  return true;
}

void TQSettingsStore::Remove(const QString& name) {
  const auto found = keysByFoldedName_.find(name.toCaseFolded());
  if (found == keysByFoldedName_.end()) return;
  settings_->remove(found->second);
  keysByFoldedName_.erase(found);
}

bool TQSettingsStore::Close(QString& reason) {
  settings_->sync();
  if (settings_->status() != QSettings::AccessError) return true;
  // QSettings says only that it failed. It writes a new file beside the old one and renames it
  // over: a folder that may not be written is at fault even where the file itself may be.
  const QString file = settings_->fileName();
  const QString folder = QFileInfo(file).absolutePath();
  if (::access(QFile::encodeName(folder).constData(), W_OK) != 0) {
    reason = SystemReason(folder, errno);
  } else if (QFile::exists(file) && ::access(QFile::encodeName(file).constData(), W_OK) != 0) {
    reason = SystemReason(file, errno);
  } else {
    reason = file;
  }
  return false;
}

}  // namespace tarvo
