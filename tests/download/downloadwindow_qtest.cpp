// The download window against a local nginx, driven through its controls on
// the offscreen platform. Set QUORLIN_SCREENSHOT_DIR to keep pictures of the
// window at the end of each download.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/gui/downloadwindow.h"
#include "archive_fixture.h"
#include "local_servers.h"

namespace quorlin {

namespace fs = std::filesystem;

constexpr int kWaitMs = 15000;

class DownloadWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TFormDownload> MakeWindow(const std::string& place) {
    data_ = test::FreshDir("window-data");
    fs::create_directories(data_ / "Bases");
    test::WriteFile(data_ / "Bases/Mine.abd", "the user's own base");
    temp_ = test::FreshDir("window-temp");
    TDownloadWindowSetup setup;
    setup.Servers = {nginx_->Url(place), "http://127.0.0.1:9"};
    setup.TempFolder = temp_.string() + "/";
    setup.DataFolder = data_.string() + "/";
    setup.Limits.StallSeconds = 5;
    auto w = std::make_unique<TFormDownload>(setup);
    w->show();
    return w;
  }

  static void Choose(TFormDownload& w, const char* archive) {
    w.EditFileName->setCurrentIndex(w.EditFileName->findText(archive));
    QCOMPARE(w.EditFileName->currentText(), QString(archive));
  }

  static QStringList Log(const TFormDownload& w) { return w.Memo1->toPlainText().split('\n'); }

  // After a failed or stopped download: no "Done!", the data folder as it was
  // and nothing in the temporary folder.
  bool NothingLeft(const TFormDownload& w, const test::TFolderPicture& before) const {
    return !Log(w).contains("Done!") && test::PictureOf(data_) == before && test::NamesIn(temp_).empty();
  }

  void Screenshot(TFormDownload& w, const char* name) {
    if (const char* dir = std::getenv("QUORLIN_SCREENSHOT_DIR"))
      w.grab().save(QString(dir) + "/" + name + ".png");
  }

  fs::path www_, data_, temp_;
  std::unique_ptr<test::TNginx> nginx_;

 private slots:
  void initTestCase() {
    www_ = test::FreshDir("window-www");
    fs::create_directories(www_ / "download/mobile");
    test::MakeZip(www_ / "download/mobile/Russian_bases.zip", test::BaseArchiveEntries(400 * 1024));
    test::MakeZip(www_ / "download/mobile/English_bases.zip", test::BaseArchiveEntries(160 * 1024));
    nginx_ = std::make_unique<test::TNginx>(www_, 16 * 1024);
  }

  void cleanupTestCase() { nginx_.reset(); }

  void startsIdle() {
    auto w = MakeWindow("/files");
    QCOMPARE(w->windowTitle(), QString("Download Bases"));
    QCOMPARE(w->EditURL->count(), 2);
    QCOMPARE(w->EditURL->currentIndex(), 0);
    QCOMPARE(w->EditFileName->count(), 13);
    QCOMPARE(w->EditFileName->currentText(), QString("_Graphics"));
    QCOMPARE(w->LabelGlobalSpeed->text(), QString("GlobalSpeed: 0 KB/s"));
    for (int i = 0; i < TFormDownload::kRows; ++i) {
      QVERIFY(!w->ButtonCancelArray[i]->isEnabled());
      QCOMPARE(w->LabelProgressArray[i]->text(), QString("0 KB/s"));
      QCOMPARE(w->ProgressBarArray[i]->value(), 0);
    }
    QVERIFY(w->AllowFormClose());
  }

  void downloadsAndUnpacks() {
    auto w = MakeWindow("/files");
    Choose(*w, "Russian_bases");
    QTest::mouseClick(w->BStartDownload, Qt::LeftButton);
    QVERIFY(!w->BStartDownload->isEnabled());
    QVERIFY(!w->AllowFormClose());
    QTRY_VERIFY_WITH_TIMEOUT(w->AllowFormClose(), kWaitMs);
    Screenshot(*w, "download-done");

    const QStringList log = Log(*w);
    QCOMPARE(log.first(), QString::fromStdString("File location = " + temp_.string() + "/Russian_bases.zip"));
    QCOMPARE(log.last(), QString("Done!"));
    QVERIFY(w->BStartDownload->isEnabled());
    for (int i = 0; i < TFormDownload::kRows; ++i) {
      QCOMPARE(w->ProgressBarArray[i]->value(), w->ProgressBarArray[i]->maximum());
      QVERIFY(!w->ButtonCancelArray[i]->isEnabled());
    }
    QVERIFY(w->LabelGlobalSpeed->text().startsWith("Global Speed: "));
    QVERIFY(fs::exists(data_ / "Bases/Russian.abd"));
    QCOMPARE(test::ReadFile(data_ / "Bases/Mine.abd"), std::string("the user's own base"));
  }

  void serverWithoutRangesUsesOneRow() {
    auto w = MakeWindow("/noranges");
    Choose(*w, "Russian_bases");
    QTest::mouseClick(w->BStartDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->AllowFormClose(), kWaitMs);
    const QStringList log = Log(*w);
    QVERIFY(log.contains("Server has NOT resume download feature"));
    QCOMPARE(log.last(), QString("Done!"));
    QCOMPARE(w->ProgressBarArray[0]->value(), w->ProgressBarArray[0]->maximum());
    QCOMPARE(w->ProgressBarArray[1]->value(), 0);
  }

  void missingArchiveIsReported() {
    auto w = MakeWindow("/files");
    Choose(*w, "MTC");
    const auto before = test::PictureOf(data_);
    QTest::mouseClick(w->BStartDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->AllowFormClose(), kWaitMs);
    const QStringList log = Log(*w);
    QVERIFY2(log.last().contains("404"), qPrintable(log.join('|')));
    QVERIFY(w->BStartDownload->isEnabled());
    QVERIFY(NothingLeft(*w, before));
  }

  void cancelledPartStopsTheUnpack() {
    auto w = MakeWindow("/slow");
    Choose(*w, "English_bases");
    const auto before = test::PictureOf(data_);
    QTest::mouseClick(w->BStartDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->ButtonCancelArray[1]->isEnabled() && w->ProgressBarArray[1]->value() > 0,
                             kWaitMs);
    QTest::mouseClick(w->ButtonCancelArray[1], Qt::LeftButton);
    QVERIFY(!w->ButtonCancelArray[1]->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(w->AllowFormClose(), kWaitMs);
    Screenshot(*w, "download-part-cancelled");

    const QStringList log = Log(*w);
    QVERIFY2(log.filter("Part 2: cancelled after").size() == 1, qPrintable(log.join('|')));
    QCOMPARE(log.last(), QString("Not finished!"));
    QVERIFY(!log.contains("Error extracting files"));
    QVERIFY(w->ProgressBarArray[1]->value() < w->ProgressBarArray[1]->maximum());
    QCOMPARE(w->ProgressBarArray[0]->value(), w->ProgressBarArray[0]->maximum());
    QVERIFY(NothingLeft(*w, before));
  }

  // Closing during a download stops it and closes the window once it ended;
  // shown again, the window downloads normally.
  void closingStopsEveryPart() {
    auto w = MakeWindow("/slow");
    Choose(*w, "English_bases");
    const auto before = test::PictureOf(data_);
    QTest::mouseClick(w->BStartDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->ProgressBarArray[0]->value() > 0, kWaitMs);
    QVERIFY(!w->close());
    QVERIFY(w->ClosingForm());
    QVERIFY(Log(*w).contains("Cancelling the download process may take some time."));
    for (QPushButton* b : w->ButtonCancelArray) QVERIFY(!b->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), kWaitMs);
    QCOMPARE(Log(*w).last(), QString("Not finished!"));
    QVERIFY(NothingLeft(*w, before));

    w->EditURL->setEditText(QString::fromStdString(nginx_->Url("/files/")));
    w->show();
    QTest::mouseClick(w->BStartDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->AllowFormClose(), kWaitMs);
    QCOMPARE(Log(*w).last(), QString("Done!"));
    QVERIFY(fs::exists(data_ / "Books/Russian.cbk"));
  }
};

}  // namespace quorlin

// Like the GoogleTest programs: HOME, XDG and TMPDIR point into a private
// temporary folder for the whole run, and the windows draw offscreen.
int main(int argc, char** argv) {
  const auto sandbox = quorlin::test::SandboxDir();
  const auto home = sandbox / "home";
  std::filesystem::create_directories(home / "Documents");
  std::filesystem::create_directories(sandbox / "tmp");
  std::filesystem::create_directories(sandbox / "run");
  std::filesystem::permissions(sandbox / "run", std::filesystem::perms::owner_all);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (sandbox / "run").c_str(), 1);
  setenv("TMPDIR", (sandbox / "tmp").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  int rc = 0;
  {
    QApplication app(argc, argv);
    quorlin::DownloadWindowTest test;
    rc = QTest::qExec(&test, argc, argv);
  }
  std::error_code ec;
  std::filesystem::remove_all(sandbox, ec);
  return rc;
}

#include "downloadwindow_qtest.moc"
