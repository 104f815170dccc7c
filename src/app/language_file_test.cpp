#include "app/language_file.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/testing/window_test.h"

namespace {

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

class LanguageWindowTest : public WindowTest {};

TEST_F(LanguageWindowTest, FirstStartWritesEveryTextOfTheWindowInWindows1250) {
  const QByteArray file = ReadBytes(QDir(temp_.path()).filePath("language.txt"));
  ASSERT_TRUE(file.startsWith("[TFORM1]\ncaption=Ostiv\n")) << file.left(60).toStdString();
  for (const char* line :
       {"\nLabel1=LISTA TELEFON\xd3W\n",
        "\nbut_zarzadzaj=Zarz\xb9"
        "dzaj\n",
        "\nLabel23=+\n", "\nRxDBGrid1col0=check\n", "\nRxDBGrid1col3=TEL\n", "\nRxDBGrid2col1=Data\n",
        "\nLabel46=HAS\xa3O DOST\xca"
        "PU\n",
        "\nkopia_sterownika=KOPIA ZAPASOWA STEROWNIKA\n", "\nprzywroc_z_kopii=PRZYWR\xd3\xc6 Z KOPII\n",
        "\nsynchronizuj_liste=SYNCHRONIZUJ LIST\xca\n"}) {
    EXPECT_TRUE(file.contains(line)) << line;
  }
  // Qt's inner widgets (the date picker's month button) are not the window's own.
  for (const char* absent : {"\nlistcom=", "\nDBEdit1=", "\nLog=", "\npanel_lista_l=", "\nqt_"}) {
    EXPECT_FALSE(file.contains(absent)) << absent;
  }
  EXPECT_TRUE(file.indexOf("\nLabel1=") < file.indexOf("\nLabel5=")) << "creation order";
}

TEST_F(LanguageWindowTest, ATranslatedFileChangesTheWindowAtTheNextStart) {
  const QString path = QDir(temp_.path()).filePath("language.txt");
  QByteArray file = ReadBytes(path);
  file.replace("Label1=LISTA TELEFON\xd3W", "Label1=PHONE LIST");
  file.replace("synchronizuj_liste=SYNCHRONIZUJ LIST\xca", "synchronizuj_liste=SYNC WITH THE LIST");
  WriteBytes(path, file);
  ApplyLanguageFile(window_.get(), path, nullptr);
  EXPECT_EQ(Find<QLabel>(window_.get(), "Label1")->text(), "PHONE LIST");
  EXPECT_EQ(Find<QLabel>(window_.get(), "synchronizuj_liste")->text(), "SYNC WITH THE LIST");
  EXPECT_EQ(Find<QLabel>(window_.get(), "Label46")->text(), QString::fromUtf8("HASŁO DOSTĘPU"));
  EXPECT_EQ(ReadBytes(path), file) << "nothing new to write";
}

// A small window of every kind the file translates.
class LanguageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.setWindowTitle("Okno");
    title_ = new QLabel("Pierwsza\nDruga", &window_);
    title_->setObjectName("Label1");
    plain_ = new QLabel("Tekst", &window_);
    plain_->setObjectName("Label2");
    grid_ = new QTableView(&window_);
    grid_->setObjectName("Grid");
    model_.setHorizontalHeaderLabels({"Tel", "Data"});
    grid_->setModel(&model_);
    group_ = new QGroupBox("Tryb", &window_);
    group_->setObjectName("Group");
    for (const char* item : {"jeden", "dwa"}) new QRadioButton(item, group_);
  }

  QByteArray Apply(const QByteArray& before) {
    if (!before.isNull()) WriteBytes(path_, before);
    ApplyLanguageFile(&window_, path_, nullptr);
    return ReadBytes(path_);
  }

  QTemporaryDir temp_;
  QString path_ = QDir(temp_.path()).filePath("language.txt");
  QWidget window_;
  QLabel* title_;
  QLabel* plain_;
  QTableView* grid_;
  QStandardItemModel model_;
  QGroupBox* group_;
};

TEST_F(LanguageFileTest, WritesLineBreaksAsDoubleSlashesAndReadsThemBack) {
  const QByteArray written = Apply(QByteArray());
  EXPECT_EQ(written,
            "[QWIDGET]\ncaption=Okno\nLabel1=Pierwsza//Druga\nLabel2=Tekst\nGridcol0=Tel\nGridcol1=Data\n"
            "Group=Tryb;jeden;dwa\n");
  QByteArray edited = written;
  edited.replace("Pierwsza//Druga", "Raz//Dwa//Trzy");
  Apply(edited);
  EXPECT_EQ(title_->text(), "Raz\nDwa\nTrzy");
  EXPECT_EQ(window_.windowTitle(), "Okno");
}

TEST_F(LanguageFileTest, AppliesEachEntryByItsRules) {
  Apply(
      "[QWIDGET]\nLabel2=Pierwszy wpis\ncaption=Okno\nLabel1=przed=po\nlabel2=inny\nGridcol0= \nGridcol1=Kiedy\n"
      "Group=Rodzaj;raz ;dwa;trzy  \n");
  EXPECT_EQ(window_.windowTitle(), "Pierwszy wpis") << "the first entry is the title, whatever its key";
  EXPECT_EQ(title_->text(), "przed") << "a value ends at its second =";
  EXPECT_EQ(plain_->text(), "Pierwszy wpis") << "the first line with the exact name counts";
  EXPECT_EQ(model_.headerData(0, Qt::Horizontal).toString(), "Tel") << "a blank column title is kept";
  EXPECT_EQ(model_.headerData(1, Qt::Horizontal).toString(), "Kiedy");
  EXPECT_EQ(group_->title(), "Rodzaj");
  const QList<QRadioButton*> items = group_->findChildren<QRadioButton*>();
  EXPECT_EQ(items[0]->text(), "raz ");
  EXPECT_EQ(items[1]->text(), "dwa");
}

TEST_F(LanguageFileTest, AKeyInAnotherCaseIsReplacedInPlaceAndABlankLabelEmpties) {
  const QByteArray after = Apply(
      "[QWIDGET]\ncaption=Okno\nlabel1=Obce\nLabel2=\nGridcol0=Tel\nGridcol1=Data\n"
      "Group=Tryb;jeden;dwa\n");
  EXPECT_EQ(title_->text(), "Pierwsza\nDruga");
  EXPECT_EQ(plain_->text(), "");
  EXPECT_EQ(after,
            "[QWIDGET]\ncaption=Okno\nLabel1=Pierwsza//Druga\nLabel2=\nGridcol0=Tel\nGridcol1=Data\n"
            "Group=Tryb;jeden;dwa\n");
}

TEST_F(LanguageFileTest, AnUnwritableFileLeavesTheWindowAsItIs) {
  path_ = QDir(temp_.path()).filePath("no/such/dir/language.txt");
  EXPECT_EQ(Apply(QByteArray()), QByteArray());
  EXPECT_EQ(title_->text(), "Pierwsza\nDruga");
}

TEST_F(LanguageFileTest, AFileSavedAsUtf8IsReadAsUtf8AndStaysSo) {
  for (const QByteArray& mark : {QByteArray("\xEF\xBB\xBF"), QByteArray()}) {
    const QByteArray after = Apply(mark + "[QWIDGET]\ncaption=Okno\nLabel1=Zarz\xc4\x85" "dzaj//\xc5\x81\xc3\xb3" "d\xc5\xba\n");
    EXPECT_EQ(title_->text(), QString::fromUtf8("Zarządzaj\nŁódź")) << mark.size();
    EXPECT_TRUE(after.startsWith(mark + "[QWIDGET]\ncaption=Okno\nLabel1=Zarz\xc4\x85")) << mark.size();
    EXPECT_TRUE(after.contains("\nGroup=Tryb;jeden;dwa\n")) << "what was missing is added";
    title_->setText("Pierwsza\nDruga");
  }
}

}  // namespace
