#pragma once
// The environment of a window test program: HOME, the XDG folders and TMPDIR
// point into a private temporary folder (so that nothing the program writes
// reaches the user's folders) and Qt draws offscreen.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quorlin::test {

inline void PointHomeAt(const QTemporaryDir& sandbox) {
  const QByteArray home = (sandbox.path() + "/home").toUtf8();
  QDir().mkpath(sandbox.path() + "/home/Documents");
  QDir().mkpath(sandbox.path() + "/tmp");
  qputenv("HOME", home);
  qputenv("XDG_CONFIG_HOME", home + "/.config");
  qputenv("XDG_DATA_HOME", home + "/.local/share");
  qputenv("XDG_CACHE_HOME", home + "/.cache");
  QDir().mkpath(sandbox.path() + "/runtime");
  QFile::setPermissions(sandbox.path() + "/runtime",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", (sandbox.path() + "/runtime").toUtf8());
  qputenv("TMPDIR", (sandbox.path() + "/tmp").toUtf8());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace quorlin::test
