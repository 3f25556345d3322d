#include "helpers/collections.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

TEST(NilSafeDictionary, NilValueKeepsWhatIsThere) {
  kit::Dictionary d;
  collections::setObjectEx(d, "a", kit::Value(1));
  collections::setObjectEx(d, "a", kit::Value());
  collections::setObjectEx(d, "b", kit::Value());
  EXPECT_EQ(d.at("a").integerValue(), 1);
  EXPECT_EQ(d.count("b"), 0u);
  collections::setObjectEx(d, "a", kit::Value("x"));
  EXPECT_EQ(d.at("a").string(), "x");

  kit::Value v;
  collections::setObjectEx(v, "k", kit::Value());
  EXPECT_TRUE(v.isNull());
  collections::setObjectEx(v, "k", kit::Value(2.5));
  EXPECT_EQ(v["k"].doubleValue(), 2.5);
  kit::Value notADictionary("text");
  collections::setObjectEx(notADictionary, "k", kit::Value(1));
  EXPECT_EQ(notADictionary.string(), "text");
}

TEST(SafeArrayAccess, OutOfRangeGivesNil) {
  const Strings a{"x", "y"};
  ASSERT_NE(collections::objectAtIndexEx(a, 1), nullptr);
  EXPECT_EQ(*collections::objectAtIndexEx(a, 1), "y");
  EXPECT_EQ(collections::objectAtIndexEx(a, 2), nullptr);
  EXPECT_EQ(collections::objectAtIndexEx(a, static_cast<std::size_t>(-1)), nullptr);
  const kit::Value arr(kit::Array{kit::Value(1)});
  EXPECT_EQ(collections::objectAtIndexEx(arr, 0).integerValue(), 1);
  EXPECT_TRUE(collections::objectAtIndexEx(arr, 1).isNull());
  EXPECT_TRUE(collections::objectAtIndexEx(kit::Value("s"), 0).isNull());
}

TEST(SafeArrayAccess, RemoveAndReturn) {
  Strings a{"x", "y", "z"};
  EXPECT_EQ(collections::removeAndReturnObjectAtIndex(a, 1), "y");
  EXPECT_EQ(a, (Strings{"x", "z"}));
  EXPECT_FALSE(collections::removeAndReturnObjectAtIndex(a, 2));
  EXPECT_EQ(a.size(), 2u);
}

TEST(RowMoving, ForwardBackwardAndNeighbours) {
  Strings a{"a", "b", "c", "d"};
  collections::moveRowAtIndex(a, 0, 3);
  EXPECT_EQ(a, (Strings{"b", "c", "d", "a"}));
  a = {"a", "b", "c", "d"};
  collections::moveRowAtIndex(a, 3, 0);
  EXPECT_EQ(a, (Strings{"d", "a", "b", "c"}));
  a = {"a", "b", "c", "d"};
  collections::moveRowAtIndex(a, 1, 2);
  EXPECT_EQ(a, (Strings{"a", "c", "b", "d"}));
  collections::moveRowAtIndex(a, 2, 1);
  EXPECT_EQ(a, (Strings{"a", "b", "c", "d"}));
}

TEST(RowMoving, InvalidIndexesChangeNothing) {
  Strings a{"a", "b"};
  collections::moveRowAtIndex(a, 0, 2);
  collections::moveRowAtIndex(a, 5, 0);
  collections::moveRowAtIndex(a, 1, 1);
  EXPECT_EQ(a, (Strings{"a", "b"}));
  kit::Value v(kit::Array{kit::Value("a"), kit::Value("b"), kit::Value("c")});
  collections::moveRowAtIndex(v, 2, 0);
  EXPECT_EQ(v.array()[0].string(), "c");
  collections::moveRowAtIndex(v, 0, 3);
  EXPECT_EQ(v.array()[0].string(), "c");
}

TEST(RowMoving, MovingBackRestoresTheOrder) {
  for (std::size_t from = 0; from < 6; ++from) {
    for (std::size_t to = 0; to < 6; ++to) {
      Strings a{"0", "1", "2", "3", "4", "5"};
      const Strings original = a;
      collections::moveRowAtIndex(a, from, to);
      EXPECT_EQ(a[to], original[from]);
      collections::moveRowAtIndex(a, to, from);
      EXPECT_EQ(a, original) << from << "->" << to;
    }
  }
}

TEST(DeepCopy, ChangesToTheCopyNeverReachTheOriginal) {
  kit::Dictionary inner{{"n", kit::Value(1)}};
  kit::Value original(kit::Dictionary{{"list", kit::Value(kit::Array{kit::Value(inner)})}, {"s", kit::Value("x")}});
  kit::Value copy = collections::mutableCopyDeep(original);
  EXPECT_EQ(copy, original);
  copy.mutableDictionary()["list"].mutableArray()[0].set("n", kit::Value(2));
  copy.set("s", kit::Value("y"));
  EXPECT_EQ(original["list"].array()[0]["n"].integerValue(), 1);
  EXPECT_EQ(original["s"].string(), "x");
  EXPECT_EQ(copy["list"].array()[0]["n"].integerValue(), 2);
}

}  // namespace
