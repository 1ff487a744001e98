// Per-user store of named integer and string values, and its QSettings implementation.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>

namespace tarvo {

enum class TReadStatus {
  Ok,
  Absent,
  Unreadable,  // present but holding a number that does not fit 32 bits
  WrongType,   // present but not what the caller reads it as, e.g. App_Top=abc
};

// The settings are read once at start and written once at exit through one open store. Names
// are matched without regard to case. Values are never deleted, but for the values of presets
// beyond the count the exit writes: left behind, they could not be told from presets a
// damaged count lost.
class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;

  // Opens the store, creating it where missing. False when it can be neither read nor written.
  virtual bool Open() = 0;
  // After Open: whether the store held text that could not be read (random bytes, a line cut
  // off, a quote left open that swallowed the lines after it). What could be read is still
  // served.
  virtual bool Damaged() const = 0;
  // Copies the store as it is now beside it; the copy's name, or empty when none was made.
  virtual QString KeepBackup() = 0;
  // Where the store lives, for messages.
  virtual QString FileName() const = 0;
  // The names of every value stored, as spelt in the store.
  virtual QStringList Names() const = 0;
  virtual TReadStatus ReadInteger(const QString& name, int32_t& value) const = 0;
  virtual TReadStatus ReadString(const QString& name, QString& value) const = 0;
  // A failed write returns false; later writes are then not attempted by the caller.
  virtual bool WriteInteger(const QString& name, int32_t value) = 0;
  virtual bool WriteString(const QString& name, const QString& value) = 0;
  virtual void Remove(const QString& name) = 0;
  // Makes the written values permanent. False when they could not be kept; reason then says
  // why, naming the file or folder at fault.
  virtual bool Close(QString& reason) = 0;
};

// The store in QSettings' native format: ~/.config/Quillmoor/tarvo.conf on Linux, one value per
// key of the [General] section. Integers are written as decimal numbers, strings as text.
class TQSettingsStore final : public TSettingsStore {
 public:
  // The user's own store, QSettings("Quillmoor", "tarvo").
  TQSettingsStore();
  // A store in the given file, in the same format; tests use a temporary file.
  explicit TQSettingsStore(const QString& fileName);

  bool Open() override;
  bool Damaged() const override;
  QString KeepBackup() override;
  QString FileName() const override;
  QStringList Names() const override;
  TReadStatus ReadInteger(const QString& name, int32_t& value) const override;
  TReadStatus ReadString(const QString& name, QString& value) const override;
  bool WriteInteger(const QString& name, int32_t value) override;
  bool WriteString(const QString& name, const QString& value) override;
  void Remove(const QString& name) override;
  bool Close(QString& reason) override;

 private:
  // The key as spelt in the file when one matches name without regard to case, else name.
  QString StoredKey(const QString& name) const;

  std::unique_ptr<QSettings> settings_;
  std::map<QString, QString> keysByFoldedName_;
  bool quoteLeftOpen_ = false;
};

}  // namespace tarvo
