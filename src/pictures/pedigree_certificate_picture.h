// The pedigree certificate of an animal, as breed societies issue it: one
// A4 portrait page, the animal's details on top (ID, sex, birth date, F,
// sire and dam), then its ancestors generation by generation in columns,
// each with its ID, birth year and F, and "unknown" where a parent is not
// known. Every text fits its place: a long ID gets a smaller font, never a
// cut.
#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <string>
#include <vector>

#include "analyses/pedigree_chart.h"
#include "pedigree/pedigree.h"
#include "pictures/picture.h"

namespace kinvar::pictures {

inline constexpr int kLeastCertificateGenerations = 3;
inline constexpr int kMostCertificateGenerations = 5;
inline constexpr int kDefaultCertificateGenerations = 4;

// A4 portrait in the pictures' units of 1/96 inch: 210 mm by 297 mm.
inline constexpr QSizeF kA4Portrait{210 / 25.4 * 96, 297 / 25.4 * 96};

// Empty when a certificate can show `generations`, else what to tell the user.
std::string CertificateGenerationsProblem(int generations);

struct PedigreeCertificate {
  PedigreeChart chart;     // the animal and its ancestors with their F
  std::string birthDate;   // the animal's, as YYYY-MM-DD; empty when not known
};

// Needs the coefficients computed; puts `records` in code order.
// `generations` must pass CertificateGenerationsProblem.
PedigreeCertificate BuildPedigreeCertificate(Pedigree& ped, RecIndex individual, int generations);

// One text of the page in its place and font: the whole text fits the
// rectangle's width in that font.
struct CertificateText {
  QString text;
  QRectF rect;
  QFont font;
  int flags = 0;  // Qt alignment
};

struct CertificateLayout {
  QSizeF size;
  std::vector<CertificateText> texts;  // in reading order: top to bottom, column by column
  std::vector<QRectF> boxes;           // by PedigreeChart::Place, generation 1 on; null where none
};

CertificateLayout LayOutPedigreeCertificate(const PedigreeCertificate& certificate);

Picture PedigreeCertificatePicture(const PedigreeCertificate& certificate);
Picture PedigreeCertificatePicture(Pedigree& ped, RecIndex individual, int generations);

}  // namespace kinvar::pictures
