/* The grammar of the text query language. Every parse works on its own tree and scanner: the parser
   is pure, so nothing of one query reaches the next. */

%require "3.0"
%define api.pure full
%define api.prefix {q7query_}
%define api.value.type {TQueryNode*}
%parse-param {TQueryTree* tree} {void* scanner}
%lex-param {void* scanner}
%expect 0

%code requires {
class TQueryNode;
class TQueryTree;
}

%code top {
#include <cstdlib>
#include <cstring>
}

%code {
#include "calc/QueryTree.h"

int q7query_lex(Q7QUERY_STYPE* value, void* scanner);

// The message texts go through YY_: the parser's own text for a stack that cannot grow any further is
// replaced by the one this engine reports.
#define YY_(text) QueryParserText(text)

static const char* QueryParserText(const char* text) {
  return strcmp(text, "memory exhausted") == 0 ? "parser stack overflow" : text;
}

static void q7query_error(TQueryTree*, void*, const char* message) { QueryAppendError(message); }

// Builds an operator node without letting an exception cross the generated parser (whose grown
// stack would then be lost); a failure is kept in the tree and ends the parse.
static TQueryNode* Op(TQueryTree* tree, int kind, int negate, TQueryNode* a, TQueryNode* b, TQueryNode* c) {
  try {
    return MakeOperatorQueryNode(tree, kind, negate, a, b, c);
  } catch (...) {
    tree->NoteFailure();
    return nullptr;
  }
}

#define Q7_OP(out, kind, negate, a, b, c)         \
  do {                                            \
    (out) = Op(tree, (kind), (negate), (a), (b), (c)); \
    if ((out) == nullptr) YYABORT;                \
  } while (0)
}

%token STRING 258 NUMBER 259 NAME 260 OTHER 261
%token BETWEEN 262 WITHIN 263 IS 264 NULL_ 265
%token RIGHT 266 LEFT 267 MIDDLE 268 MATCH 269
%token GE 270 LE 271 GT 272 LT 273 NE 274 EQ 275

/* NOT reaches as far as it can, OR binds tighter than AND. */
%precedence NOT 276
%left AND 277
%left OR 278

%%

query: expr { QuerySetTopNode(tree, $1); }
    ;

expr: column EQ value { Q7_OP($$, kQueryEqual, 0, $1, $3, nullptr); }
    | column NE value { Q7_OP($$, kQueryEqual, 1, $1, $3, nullptr); }
    | column LT value { Q7_OP($$, kQueryLessThan, 0, $1, $3, nullptr); }
    | column GE value { Q7_OP($$, kQueryLessThan, 1, $1, $3, nullptr); }
    | column LE value { Q7_OP($$, kQueryLessThanOrEqual, 0, $1, $3, nullptr); }
    | column GT value { Q7_OP($$, kQueryLessThanOrEqual, 1, $1, $3, nullptr); }
    | column IS NULL_ { Q7_OP($$, kQueryIsNull, 0, $1, nullptr, nullptr); }
    | column IS NOT NULL_ { Q7_OP($$, kQueryIsNull, 1, $1, nullptr, nullptr); }
    | column BETWEEN value AND value { Q7_OP($$, kQueryBetween, 0, $1, $3, $5); }
    | column NOT BETWEEN value AND value { Q7_OP($$, kQueryBetween, 1, $1, $4, $6); }
    | column WITHIN value AND value { Q7_OP($$, kQueryWithin, 0, $1, $3, $5); }
    | column NOT WITHIN value AND value { Q7_OP($$, kQueryWithin, 1, $1, $4, $6); }
    | column LEFT MATCH value { Q7_OP($$, kQueryLeftMatch, 0, $1, $4, nullptr); }
    | column NOT LEFT MATCH value { Q7_OP($$, kQueryLeftMatch, 1, $1, $5, nullptr); }
    | column MIDDLE MATCH value { Q7_OP($$, kQueryMiddleMatch, 0, $1, $4, nullptr); }
    | column NOT MIDDLE MATCH value { Q7_OP($$, kQueryMiddleMatch, 1, $1, $5, nullptr); }
    | column RIGHT MATCH value { Q7_OP($$, kQueryRightMatch, 0, $1, $4, nullptr); }
    | column NOT RIGHT MATCH value { Q7_OP($$, kQueryRightMatch, 1, $1, $5, nullptr); }
    | NOT expr { Q7_OP($$, kQueryNot, 1, $2, nullptr, nullptr); }
    | expr AND expr { Q7_OP($$, kQueryAnd, 0, $1, $3, nullptr); }
    | expr OR expr { Q7_OP($$, kQueryOr, 0, $1, $3, nullptr); }
    | '(' expr ')' { $$ = $2; }
    | error {
        q7query_error(tree, scanner, "SYNTAX ERROR");
        YYABORT;
      }
    ;

column: symbol { $$ = $1; }
    | symbol '.' symbol {
        QuerySetTableName($3, $1);
        $$ = $3;
      }
    ;

symbol: NAME | RIGHT | LEFT | MIDDLE | MATCH
    ;

value: STRING | NUMBER
    ;

%%
