// The query language's scanner and parser: the trees they build, the syntax errors and their messages,
// deep and long queries, and that nothing of one parse reaches the next.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "calc/QueryTree.h"
#include "tests/support/test_support.h"

namespace {

// A compact picture of a parsed tree: Kind(children), "!" before a negated operator, symbols as
// qualifier.name, numbers as written, strings in single quotes.
std::string Picture(const TQueryNode* n) {
  if (n == nullptr) return "-";
  switch (n->kind) {
    case kQuerySymbol:
      return n->qualifier != nullptr ? std::string(n->qualifier) + "." + n->text : std::string(n->text);
    case kQueryNumber:
      return n->text;
    case kQueryString:
      return "'" + std::string(n->text) + "'";
    default:
      break;
  }
  std::string out = std::string(n->negate ? "!" : "") + QueryNodeKindName(n->kind) + "(" + Picture(n->a);
  if (n->b != nullptr) out += "," + Picture(n->b);
  if (n->c != nullptr) out += "," + Picture(n->c);
  return out + ")";
}

struct Parsed {
  int result;
  std::string tree;
  std::string message;
};

// The parse's result, picture (when asked for) and messages.
Parsed Parse(const std::string& text, bool picture = true) {
  TQueryTree tree(nullptr, 0);
  const int result = QueryParse(&tree, text.c_str());
  return {result, result == 0 && picture ? Picture(tree.top) : "", QueryErrorMessage};
}

struct TreeCase {
  const char* text;
  const char* want;
};

const TreeCase kTrees[] = {
    // OR binds tighter than AND; chains group from the left; NOT takes the rest up to a bracket.
    {"a = 1 AND b = 2 OR c = 3", "And(Equal(a,1),Or(Equal(b,2),Equal(c,3)))"},
    {"a = 1 OR b = 2 AND c = 3", "And(Or(Equal(a,1),Equal(b,2)),Equal(c,3))"},
    {"a = 1 AND b = 2 AND c = 3", "And(And(Equal(a,1),Equal(b,2)),Equal(c,3))"},
    {"a = 1 OR b = 2 OR c = 3", "Or(Or(Equal(a,1),Equal(b,2)),Equal(c,3))"},
    {"NOT a = 1 OR b = 2", "!Not(Or(Equal(a,1),Equal(b,2)))"},
    {"NOT a = 1 AND b = 2", "!Not(And(Equal(a,1),Equal(b,2)))"},
    {"(NOT a = 1) AND b = 2", "And(!Not(Equal(a,1)),Equal(b,2))"},
    {"a = 1 AND (b = 2 AND c = 3)", "And(Equal(a,1),And(Equal(b,2),Equal(c,3)))"},
    {"(a = 1 AND b = 2) OR c = 3", "Or(And(Equal(a,1),Equal(b,2)),Equal(c,3))"},
    {"NOT NOT a = 1", "!Not(!Not(Equal(a,1)))"},
    // Comparisons and their negated forms.
    {"a = 5", "Equal(a,5)"},
    {"a <> 5", "!Equal(a,5)"},
    {"a != 5", "!Equal(a,5)"},
    {"a < 5", "LessThan(a,5)"},
    {"a >= 5", "!LessThan(a,5)"},
    {"a <= 5", "LessThanOrEqual(a,5)"},
    {"a > 5", "!LessThanOrEqual(a,5)"},
    {"a IS NULL", "IsNull(a)"},
    {"a is not null", "!IsNull(a)"},
    {"a BETWEEN 1 AND 2", "Between(a,1,2)"},
    {"a Not Between 1 aNd 2", "!Between(a,1,2)"},
    {"a WITHIN 1 AND 2", "Within(a,1,2)"},
    {"a NOT WITHIN 1 AND 2", "!Within(a,1,2)"},
    {"a LEFT MATCH 'x'", "LEFT MATCH(a,'x')"},
    {"a not left match 'x'", "!LEFT MATCH(a,'x')"},
    {"a MIDDLE MATCH 'x'", "MIDDLE MATCH(a,'x')"},
    {"a NOT MIDDLE MATCH 'x'", "!MIDDLE MATCH(a,'x')"},
    {"a RIGHT MATCH 'x'", "RIGHT MATCH(a,'x')"},
    {"a NOT RIGHT MATCH 'x'", "!RIGHT MATCH(a,'x')"},
    // Names: qualified, the four match words as names, quoted, keywords inside longer names.
    {"t.a = 1", "Equal(t.a,1)"},
    {"LEFT.RIGHT = 'x'", "Equal(LEFT.RIGHT,'x')"},
    {"match = 1", "Equal(match,1)"},
    {"middle LEFT MATCH 'm'", "LEFT MATCH(middle,'m')"},
    {"\"my col\" = 1", "Equal(my col,1)"},
    {"\"a\"\"b\" = 1", "Equal(a\"b,1)"},
    {"\"T 1\".\"c\" = 1", "Equal(T 1.c,1)"},
    {"notx = 1 AND andy = 2 OR ory = 3", "And(Equal(notx,1),Or(Equal(andy,2),Equal(ory,3)))"},
    {"a_1#x = 1", "Equal(a_1#x,1)"},
    {"\xe5\x90\x8d\xe5\x89\x8d = 1", "Equal(\xe5\x90\x8d\xe5\x89\x8d,1)"},
    // Literals as written.
    {"a = 'it''s'", "Equal(a,'it's')"},
    {"a = ''", "Equal(a,'')"},
    {"a = 'two\nlines'", "Equal(a,'two\nlines')"},
    {"a = -1.5e3", "Equal(a,-1.5e3)"},
    {"a = .5", "Equal(a,.5)"},
    {"a = +2", "Equal(a,+2)"},
    {"a=-2E-7", "Equal(a,-2E-7)"},
    {"\t a\r\n=\n1 ", "Equal(a,1)"},
};

TEST(QueryParser, BuildsTreesWithTheLanguagesPrecedence) {
  for (const auto& c : kTrees) {
    SCOPED_TRACE(c.text);
    const Parsed p = Parse(c.text);
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree, c.want);
    EXPECT_EQ(p.message, "");
  }
}

const char* const kSyntaxErrors[] = {
    "",
    "a =",
    "= 1",
    "a == 1",
    "a = + 1",
    "1 = a",
    "a = b",
    "a = 1 b = 2",
    "a = 1.2.3",
    "a = 1.",
    "a @ 1",
    "_a = 1",
    "a = 'open",
    "\"open = 1",
    "(a = 1",
    "a = 1)",
    "NOT",
    "a IS 1",
    "a IS NOT",
    "a BETWEEN 1",
    "a BETWEEN 1 OR 2",
    "a LEFT 'x'",
    "a NOT = 1",
    "a = 1 AND",
    "t.u.a = 1",
    "a = 1 * 2",
    "a = 1 / 2",
    "a = 1 - 2",
    "a = NULL",
    "a IS NULL AND AND b = 1",
    "a = 1; b = 2",
};

TEST(QueryParser, SyntaxErrorsReportResultOneAndBothMessages) {
  for (const char* text : kSyntaxErrors) {
    SCOPED_TRACE(text);
    const Parsed p = Parse(text);
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.message, "syntax error\nSYNTAX ERROR");
  }
}

TEST(QueryParser, AFailedParseLeavesNothingForTheNext) {
  EXPECT_EQ(Parse("a = 'open").result, 1);
  const Parsed good = Parse("b = 2");
  EXPECT_EQ(good.result, 0);
  EXPECT_EQ(good.tree, "Equal(b,2)");
  EXPECT_EQ(good.message, "");
  // The scanner did not keep the half-read string or the token after a failure mid-text.
  EXPECT_EQ(Parse("a = 1 AND (").result, 1);
  EXPECT_EQ(Parse("c IS NULL").tree, "IsNull(c)");
  EXPECT_EQ(Parse(std::string(10001, '(') + "a = 1").result, 2);
  EXPECT_EQ(Parse("d = 4").tree, "Equal(d,4)");
}

std::string Nested(int depth, const std::string& open, const std::string& inner, const std::string& close) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  text += inner;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(QueryParser, DeepQueriesGrowTheStackToItsLimit) {
  for (int depth : {200, 1000, 5000, 9000}) {
    SCOPED_TRACE(depth);
    Parsed p = Parse(Nested(depth, "(", "a = 1", ")"));
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.tree, "Equal(a,1)");
    p = Parse(Nested(depth, "NOT ", "a = 1", ""), false);
    EXPECT_EQ(p.result, 0);
  }
  // Each open bracket holds a stack entry until the end: beyond 10000 the parse refuses.
  for (int depth : {10000, 20000}) {
    SCOPED_TRACE(depth);
    for (const std::string& text : {Nested(depth, "(", "a = 1", ")"), Nested(depth, "NOT ", "a = 1", "")}) {
      const Parsed p = Parse(text, false);
      EXPECT_EQ(p.result, 2);
      EXPECT_EQ(p.message, "parser stack overflow");
    }
  }
}

TEST(QueryParser, LongFlatQueriesParse) {
  std::string text = "a0 = 0";
  for (int i = 1; i < 20000; ++i)
    text += (i % 2 ? " OR a" : " AND a") + std::to_string(i) + " = " + std::to_string(i);
  TQueryTree tree(nullptr, 0);
  ASSERT_EQ(QueryParse(&tree, text.c_str()), 0);
  // 20000 comparisons, 19999 connectives, 40000 leaves: every node is kept by the tree.
  EXPECT_EQ(tree.nodes.size(), 20000u + 19999u + 40000u);
}

TEST(QueryParser, ErrorBufferKeepsFiveHundredBytes) {
  QueryErrorMessage[0] = '\0';
  QueryAppendError("first");
  QueryAppendError("second");
  EXPECT_STREQ(QueryErrorMessage, "first\nsecond");

  // A message is cut to the room left; past 497 characters further messages are ignored.
  QueryErrorMessage[0] = '\0';
  QueryAppendError(std::string(600, 'x').c_str());
  EXPECT_EQ(std::string(QueryErrorMessage), std::string(499, 'x'));
  QueryAppendError("ignored");
  EXPECT_EQ(strlen(QueryErrorMessage), 499u);

  for (size_t held : {size_t{496}, size_t{497}, size_t{498}}) {
    SCOPED_TRACE(held);
    memset(QueryErrorMessage, 'y', held);
    QueryErrorMessage[held] = '\0';
    QueryAppendError("abc");
    const std::string want = held > 497
                                 ? std::string(held, 'y')
                                 : std::string(held, 'y') + "\n" + std::string("abc").substr(0, 498 - held);
    EXPECT_EQ(std::string(QueryErrorMessage), want);
  }
}

TEST(QueryParser, NodesAreMadeOnlyOfTheirKinds) {
  TQueryTree tree(nullptr, 0);
  char name[] = "a";
  for (int kind : {0, 2, 5, 7, 17, 99, -1}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(q7test::CodeOf([&] { MakeLeafQueryNode(&tree, kind, name, 1); }), Q7_ERROR_QUERY_INTERNAL);
  }
  for (int kind : {0, 1, 5, 18}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(q7test::CodeOf([&] { MakeOperatorQueryNode(&tree, kind, 0, nullptr, nullptr, nullptr); }),
              Q7_ERROR_QUERY_INTERNAL);
  }
  EXPECT_TRUE(tree.nodes.empty());

  // A refused text stays the caller's; an accepted one is copied or taken over.
  TQueryNode* copied = MakeLeafQueryNode(&tree, kQuerySymbol, name, 1);
  EXPECT_NE(copied->text, name);
  EXPECT_STREQ(copied->text, "a");
  TQueryNode* taken = MakeLeafQueryNode(&tree, kQueryString, strdup("s"), 0);
  EXPECT_STREQ(taken->text, "s");
  TQueryNode* qualifier = MakeLeafQueryNode(&tree, kQuerySymbol, name, 1);
  QuerySetTableName(copied, qualifier);
  EXPECT_STREQ(copied->qualifier, "a");
  EXPECT_EQ(qualifier->text, nullptr);
  EXPECT_EQ(tree.nodes.size(), 3u);
}

std::string DumpOf(TQueryTree& tree) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buf, &size);
  tree.Dump(out, "Query", ">");
  fclose(out);
  std::string text(buf, size);
  free(buf);
  return text;
}

TEST(QueryParser, DumpDrawsTheParsedTree) {
  TQueryTree tree(nullptr, 0);
  ASSERT_EQ(
      QueryParse(&tree, "t.a >= 5 AND (b NOT BETWEEN 1 AND 2 OR c LEFT MATCH 'x') AND NOT d IS NOT NULL"), 0);
  EXPECT_EQ(DumpOf(tree),
            ">Query\n"
            "> `- Operator(AND):\n"
            ">     |- Operator(AND):\n"
            ">     |   |- Operator(GE):\n"
            ">     |   |   |- Symbol - \"t\".\"a\"\n"
            ">     |   |   `- Number - 5\n"
            ">     |   `- Operator(OR):\n"
            ">     |       |- Operator(NOT BETWEEN):\n"
            ">     |       |   |- Symbol - \"b\"\n"
            ">     |       |   |- Number - 1\n"
            ">     |       |   `- Number - 2\n"
            ">     |       `- Operator(LEFT MATCH):\n"
            ">     |           |- Symbol - \"c\"\n"
            ">     |           `- String - 'x'\n"
            ">     `- Operator(NOT):\n"
            ">         `- Operator(IS NOT NULL):\n"
            ">             `- Symbol - \"d\"\n");
}

}  // namespace
