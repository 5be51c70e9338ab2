#pragma once
// The board textures, piece pictures and last-move marker the board view
// draws with: the program's own pictures unless a picture set on disk replaces
// them.
#include <QImage>
#include <QString>

#include "app/boardgeometry.h"
#include "app/pictures.h"

namespace quorlin::gui {

struct TPictureSet {
  QImage light, dark;     // whole-board textures
  QImage ws, wk, bs, bk;  // men and kings of the two sides
  QImage sel;             // last-move marker

  const QImage& Piece(TPiecePicture p) const;
};

// The built-in pictures, drawn by code.
TPictureSet BuiltInPictures();

// Folders searched for picture sets, in order: "Pictures" in the data folder,
// then "Pictures" beside the program (where the shipped sets are).
QStringList PictureRoots();

// Board set `name` (folder Pictures/Boards/name holding light and dark
// textures as .bmp, .png or .jpg). Both must exist, otherwise the textures
// stay as they are. Returns whether the set was found.
bool LoadBoardPictures(TPictureSet& set, const QString& name);

// Piece set `name` with the subfolders of the two sides: "Man" and "King" as
// .png, else .bmp (a BMP picture is made transparent where it has the colour
// of its top-left pixel). Pictures that are not found stay as they are.
// Returns how many pictures were loaded.
int LoadPiecePictures(TPictureSet& set, const QString& name, const QString& whiteFolder,
                      const QString& blackFolder);

// Converts a picture drawn by code.
QImage ToQImage(const TImageRGBA& image);

}  // namespace quorlin::gui
