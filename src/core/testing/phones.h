#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/session.h"
#include "store/cursor.h"

// Puts a row straight into the list, as a finished edit would.
inline void AddPhone(Session& session, const std::string& first, const std::string& surname, const std::string& tel,
                     int st = 0) {
  store::Cursor& list = session.Dbf1();
  ASSERT_TRUE(list.Append().ok());
  EXPECT_TRUE(list.SetText("Imie", first).ok());
  EXPECT_TRUE(list.SetText("Nazwisko", surname).ok());
  EXPECT_TRUE(list.SetText("Tel", tel).ok());
  EXPECT_TRUE(list.SetInt("ST", st).ok());
  const store::Status s = list.Post();
  ASSERT_TRUE(s.ok()) << s.message();
}

// The list in its current order as "ID first surname tel ST" lines; the
// cursor ends on the first row.
inline std::vector<std::string> Rows(Session& session) {
  store::Cursor& list = session.Dbf1();
  std::vector<std::string> rows;
  for (list.First(); !list.Eof(); list.Next()) {
    rows.push_back(list.Text("ID") + " " + list.Text("Imie") + " " + list.Text("Nazwisko") + " " + list.Text("Tel") +
                   " " + list.Text("ST"));
  }
  list.First();
  return rows;
}

// A session on a fresh directory with its database made and open.
struct SessionOnTemp {
  explicit SessionOnTemp(const QString& dir) : session(dir) { EXPECT_EQ(session.Create(), QString()); }
  Session session;
};
