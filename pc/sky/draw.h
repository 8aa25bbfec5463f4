// Drawing context, fonts, colours and bitmaps. Views paint only through an
// IDrawContext and hold their fonts, colours and bitmaps as interfaces.
#pragma once

#include "src/base/area.h"
#include "src/base/base.h"
#include "src/base/file.h"

#include <cstdint>

class QColor;
class QFont;
class QImage;
class QPainter;

class IFnt : public virtual IBase {};

// A colour value r | g << 8 | b << 16.
class IColor : public virtual IBase {
public:
  virtual uint32_t GetColor() const = 0;
  virtual void SetColor(uint32_t value) = 0;
  virtual int GetRed() const = 0;
  virtual int GetGreen() const = 0;
  virtual int GetBlue() const = 0;
  virtual void SetRed(int v) = 0;
  virtual void SetGreen(int v) = 0;
  virtual void SetBlue(int v) = 0;
};

class IBmp : public virtual IBase {
public:
  // The program's bitmap resource of that id. Raises an error when there is
  // none; the bitmap held before stays.
  virtual void LoadResource(int32_t id) = 0;
  // The bitmap file at the name's full path. Raises an error when it cannot
  // be read; the bitmap held before stays.
  virtual void LoadFile(IFileName* name) = 0;
  // Size in pixels; 0 while nothing is loaded.
  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
};

// Points and areas are in the painting view's coordinates; right and bottom
// are exclusive.
class IDrawContext : public virtual IBase {
public:
  // The current origin relative to the one the context was bound with.
  virtual TPnt GetOrigin() const = 0;
  virtual void SetOrigin(const TPnt& p) = 0;
  virtual void SetFont(IFnt* font) = 0;
  // The whole bitmap with its top-left corner at p.
  virtual void DrawBitmap(IBmp* bmp, const TPnt& p) = 0;
  // The bitmap's pixels from (sx, sy) into the area, unstretched.
  virtual void BlitBitmap(IBmp* bmp, int32_t sx, int32_t sy, const TArea& dest) = 0;
  virtual void MoveTo(const TPnt& p) = 0;
  // A line from the current position to p, p itself left out; p becomes the
  // current position.
  virtual void LineTo(const TPnt& p, IColor* color) = 0;
  virtual void FillArea(const TArea& area, IColor* color) = 0;
  // Covers the area with copies of the bitmap, the last row and column cut.
  virtual void TileBitmap(const TArea& area, IBmp* bmp) = 0;
  // Width and height of the text in the selected font.
  virtual TPnt GetTextExtent(const TStr& text) const = 0;
  // One line of text, top-aligned at p (left edge, right edge) or centred
  // between the area's left and right at y. The text is clipped to the area
  // and, unless the background is the transparent standard colour, the area
  // is filled with it first; the empty area (0, 0, 0, 0) neither clips nor fills.
  virtual void DrawTextLeft(const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text) = 0;
  virtual void DrawTextRight(const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text) = 0;
  virtual void DrawTextCentred(int32_t y, const TArea& area, IColor* background, IColor* color, const TStr& text) = 0;
};

// A drawing context over a QPainter. Unbound after creation.
class TDrawContext : public TBase, public IDrawContext {
public:
  TDrawContext() = default;
  // Binds the context to a painter (not owned); the painter's translation at
  // this moment is the base origin.
  void SetDC(QPainter* painter);

  TPnt GetOrigin() const override;
  void SetOrigin(const TPnt& p) override;
  void SetFont(IFnt* font) override;
  void DrawBitmap(IBmp* bmp, const TPnt& p) override;
  void BlitBitmap(IBmp* bmp, int32_t sx, int32_t sy, const TArea& dest) override;
  void MoveTo(const TPnt& p) override;
  void LineTo(const TPnt& p, IColor* color) override;
  void FillArea(const TArea& area, IColor* color) override;
  void TileBitmap(const TArea& area, IBmp* bmp) override;
  TPnt GetTextExtent(const TStr& text) const override;
  void DrawTextLeft(const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text) override;
  void DrawTextRight(const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text) override;
  void DrawTextCentred(int32_t y, const TArea& area, IColor* background, IColor* color, const TStr& text) override;

private:
  enum class TAlign { Left, Right, Centre };
  void DrawText(TAlign align, const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text);

  QPainter* painter_ = nullptr;
  TPnt base_;
  TPnt current_;
};

IDrawContext* CreateDrawContext();
inline IDrawContext* CastToDrawContext(IBase* o) { return CastTo<IDrawContext>(o); }

// A font of the face at a height and an average width in pixels (the width
// is advisory). Every face is drawn as DejaVu Sans, so that the windows look
// the same on every desktop.
IFnt* CreateFnt(const TStr& face, int32_t height, int32_t width);
IColor* CreateColor(int r, int g, int b);
IBmp* CreateBmp();
inline IFnt* CastToFnt(IBase* o) { return CastTo<IFnt>(o); }
inline IColor* CastToColor(IBase* o) { return CastTo<IColor>(o); }
inline IBmp* CastToBmp(IBase* o) { return CastTo<IBmp>(o); }

// The eighteen standard colours, made once and kept for the whole run. The
// last is a second black object that, given as a text background, stands for
// no background.
enum class TStdColor {
  Black = 1, White, Grey, LightGrey, DarkRed, Red, DarkGreen, Green, LightGreen,
  DarkBlue, Blue, Olive, Yellow, Purple, Fuchsia, Teal, Cyan, Transparent
};
constexpr int kStdColorCount = 18;
IColor* StdColor(TStdColor which);
inline IColor* StdColor(int number) { return StdColor(TStdColor(number)); }

// The Qt side of the objects above, for the window layer.
namespace sky {
QColor QtColor(const IColor* color);
QFont QtFont(IFnt* font);
// Null when nothing is loaded or the object is not a bitmap of this layer.
const QImage* QtImage(IBmp* bmp);
// The folder that holds the program's bitmap resources as <id>.bmp or
// <id>.png; Qt's resource path ":/bitmaps" comes first.
void SetBitmapResourceFolder(const TStr& folder);
// The program draws its own pictures: a provider returns the picture of a
// resource id, or a null image when it has none. It is asked before Qt's
// resources and the folder.
using TPictureProvider = QImage (*)(int32_t id);
void SetPictureProvider(TPictureProvider provider);
} // namespace sky
