#include "SettingsStore.h"

#include "DecimalInteger.h"

#include <QFile>
#include <QStringList>

namespace tarvo {

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
  return true;
}

bool TQSettingsStore::Damaged() const { return settings_->status() == QSettings::FormatError; }

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

bool TQSettingsStore::Close() {
  settings_->sync();
  return settings_->status() != QSettings::AccessError;
}

}  // namespace tarvo
