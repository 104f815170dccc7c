#pragma once

#include <QByteArray>
#include <QDialog>
#include <QSet>
#include <QString>

#include "phonelist/list_file.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class Session;

// What an import will do, line by line, before it does it: how the file was
// read (format, separator, encoding, each changeable for a text file), which
// column holds what, every line with its verdict in green (taken), yellow
// (taken with a warning, or already there) or red (an error), the counts,
// and whether to clear the list first. Nothing changes until the import
// button, which names how many numbers it takes.
class ImportDialog : public QDialog {
  Q_OBJECT

 public:
  ImportDialog(Session& session, const QByteArray& bytes, const QString& name, QWidget* parent = nullptr);

  const ImportPreview& preview() const { return preview_; }
  bool clearFirst() const;

 private:
  void Reread();    // the file again, with the separator and encoding chosen
  void Rejudge();   // the lines again, with the columns and the clear choice
  void FillColumns();
  void FillTable();

  const QByteArray bytes_;
  const QString name_;
  const QString country_;
  const QSet<QString> listed_;
  Sheet sheet_;
  ImportPreview preview_;
  bool columnsGiven_ = false;
  bool filling_ = false;

  QLabel* formatLabel_;
  QComboBox* separatorBox_;
  QComboBox* encodingBox_;
  QComboBox* columnBoxes_[3];  // first name, surname, phone
  QCheckBox* clearBox_;
  QTableWidget* table_;
  QLabel* countsLabel_;
  QPushButton* importButton_;
};
