#include "app/gui/picturesets.h"

#include <QDir>
#include <QFileInfo>
#include <future>

#include "app/folders.h"
#include "app/pictures.h"

namespace quorlin::gui {

const QImage& TPictureSet::Piece(TPiecePicture p) const {
  switch (p) {
    case TPiecePicture::WhiteKing:
      return wk;
    case TPiecePicture::BlackMan:
      return bs;
    case TPiecePicture::BlackKing:
      return bk;
    default:
      return ws;
  }
}

QImage ToQImage(const TImageRGBA& image) {
  QImage out(image.width, image.height, QImage::Format_ARGB32);
  for (int y = 0; y < image.height; ++y) {
    auto* line = reinterpret_cast<uint32_t*>(out.scanLine(y));
    for (int x = 0; x < image.width; ++x) line[x] = image.At(x, y);
  }
  return out;
}

TPictureSet BuiltInPictures() {
  // The textures come from the same drawing code as the shipped "Wood" set;
  // when that set lies beside the program it is read instead, which is much
  // quicker than drawing 920x920 pixels of wood grain at start.
  // The two textures are decoded on threads of their own while the pieces
  // are drawn here.
  TPictureSet set;
  const QString shipped = QString::fromStdString(ProgramFolder) + "Pictures/Boards/Wood/";
  auto load = [](const QString& path) {
    QImage img;
    return img.load(path) ? img.convertToFormat(QImage::Format_ARGB32) : QImage();
  };
  auto light = std::async(std::launch::async, load, shipped + "light.png");
  auto dark = std::async(std::launch::async, load, shipped + "dark.png");
  set.ws = ToQImage(DrawPiece(TPieceStyle::Turned, true, false));
  set.wk = ToQImage(DrawPiece(TPieceStyle::Turned, true, true));
  set.bs = ToQImage(DrawPiece(TPieceStyle::Turned, false, false));
  set.bk = ToQImage(DrawPiece(TPieceStyle::Turned, false, true));
  set.sel = ToQImage(DrawMoveMarker());
  set.light = light.get();
  set.dark = dark.get();
  if (set.light.isNull() || set.dark.isNull() || set.light.size() != set.dark.size()) {
    set.light = ToQImage(DrawBoardTexture(TBoardStyle::Green, false));
    set.dark = ToQImage(DrawBoardTexture(TBoardStyle::Green, true));
  }
  return set;
}

QStringList PictureRoots() {
  QStringList roots;
  if (!DataFolder.empty()) roots << QString::fromStdString(DataFolder) + "Pictures/";
  if (!ProgramFolder.empty()) roots << QString::fromStdString(ProgramFolder) + "Pictures/";
  return roots;
}

namespace {

QString FirstExisting(const QString& folder, const QString& base, const QStringList& endings) {
  for (const QString& e : endings) {
    const QString path = folder + base + "." + e;
    if (QFileInfo::exists(path)) return path;
  }
  return {};
}

// Loads a picture; a BMP has no transparency of its own, so the colour of its
// top-left pixel becomes transparent.
bool LoadPicture(const QString& path, QImage& into) {
  QImage img;
  if (path.isEmpty() || !img.load(path)) return false;
  img = img.convertToFormat(QImage::Format_ARGB32);
  if (path.endsWith(".bmp", Qt::CaseInsensitive)) {
    const QRgb key = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x) {
        if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF)) line[x] = 0;
      }
    }
  }
  into = img;
  return true;
}

}  // namespace

bool LoadBoardPictures(TPictureSet& set, const QString& name) {
  const QStringList endings{"bmp", "png", "jpg"};
  for (const QString& root : PictureRoots()) {
    const QString folder = root + "Boards/" + name + "/";
    const QString light = FirstExisting(folder, "light", endings);
    const QString dark = FirstExisting(folder, "dark", endings);
    if (light.isEmpty() || dark.isEmpty()) continue;
    QImage l, d;
    if (l.load(light) && d.load(dark)) {
      set.light = l.convertToFormat(QImage::Format_ARGB32);
      set.dark = d.convertToFormat(QImage::Format_ARGB32);
      return true;
    }
  }
  return false;
}

int LoadPiecePictures(TPictureSet& set, const QString& name, const QString& whiteFolder,
                      const QString& blackFolder) {
  const QStringList endings{"png", "bmp"};
  for (const QString& root : PictureRoots()) {
    const QString folder = root + "Pieces/" + name + "/";
    if (!QFileInfo(folder).isDir()) continue;
    int loaded = 0;
    loaded += LoadPicture(FirstExisting(folder + whiteFolder + "/", "Man", endings), set.ws);
    loaded += LoadPicture(FirstExisting(folder + whiteFolder + "/", "King", endings), set.wk);
    loaded += LoadPicture(FirstExisting(folder + blackFolder + "/", "Man", endings), set.bs);
    loaded += LoadPicture(FirstExisting(folder + blackFolder + "/", "King", endings), set.bk);
    return loaded;
  }
  return 0;
}

}  // namespace quorlin::gui
