// What the Mac adapter asks of Apple's frameworks, read from clang's syntax
// tree of one .mm file (libclang), for check.sh:
//
//   sends FILE COMPAT-HEADER PROJECT-ROOT -- CLANG-ARGUMENTS...
//
// prints one tab-separated line per use, sorted and counted by check.sh:
//   send  HOW CLASS NAME GUARD FILE:LINE   a message (HOW - or +), a property
//                                          (.) or a function (f) declared by
//                                          a framework or the compat header;
//                                          GUARD is the macOS version of the
//                                          enclosing if (@available(...)), or 0
//   late  NAME INTRODUCED GUARD FILE:LINE  a compat declaration newer than
//                                          the deployment target, unguarded
//   bare  KIND NAME FILE:LINE              a compat declaration without the
//                                          macOS version that introduced it
//   error MESSAGE                          a message, or a member named as a
//                                          framework property, that clang
//                                          cannot resolve where it is written:
//                                          a receiver whose type depends on a
//                                          template parameter, so what is sent
//                                          would be checked nowhere
// The adapter's own classes and the C and C++ libraries are left out. Exits
// 2 when the file does not parse.
#define _POSIX_C_SOURCE 200809L  // strdup
#include <clang-c/Index.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* compat;
static const char* root;
static size_t rootLength;
static const int deploymentTarget = 1300;  // macOS 13.0, as major * 100 + minor

static int versionOf(CXVersion v) { return v.Major < 0 ? 0 : v.Major * 100 + (v.Minor < 0 ? 0 : v.Minor); }

// The file a cursor is spelt in, as clang names it; "" for none.
static void fileOf(CXCursor c, char* out, size_t size, unsigned* line) {
  CXFile file;
  clang_getSpellingLocation(clang_getCursorLocation(c), &file, line, NULL, NULL);
  CXString name = clang_getFileName(file);
  const char* text = clang_getCString(name);
  snprintf(out, size, "%s", text ? text : "");
  clang_disposeString(name);
}

static int isCompat(const char* file) { return strstr(file, compat) != NULL; }

// The declarations check.sh writes for Apple's C parts (sdk/ beside the
// compat header's folder), which the compat header includes: framework
// declarations too, each with its version.
static char sdk[4096];
static int isSdk(const char* file) { return sdk[0] != '\0' && strstr(file, sdk) != NULL; }

// The macOS version a declaration says it was introduced in; 0 for none.
static int introduced(CXCursor decl) {
  CXPlatformAvailability platforms[8];
  int n = clang_getCursorPlatformAvailability(decl, NULL, NULL, NULL, NULL, platforms, 8);
  int version = 0;
  for (int i = 0; i < n && i < 8; ++i) {
    const char* platform = clang_getCString(platforms[i].Platform);
    if (strcmp(platform, "macos") == 0 || strcmp(platform, "macosx") == 0) version = versionOf(platforms[i].Introduced);
    clang_disposeCXPlatformAvailability(&platforms[i]);
  }
  return version;
}

// The first cursor of one kind among another's children (or, with
// CXChildVisit_Recurse, anywhere below it).
struct Find {
  enum CXCursorKind kind;
  enum CXChildVisitResult otherwise;
  CXCursor found;
};

static enum CXChildVisitResult find(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  struct Find* f = data;
  if (clang_getCursorKind(c) != f->kind) return f->otherwise;
  f->found = c;
  return CXChildVisit_Break;
}

static CXCursor first(CXCursor in, enum CXCursorKind kind, enum CXChildVisitResult how) {
  struct Find f = {kind, how, clang_getNullCursor()};
  clang_visitChildren(in, find, &f);
  return f.found;
}

// A path below the project's root as the project names it.
static const char* relative(const char* file) { return file + (strncmp(file, root, rootLength) == 0 ? rootLength : 0); }

// The class, category's class or <protocol> that declares a method or property.
static void containerOf(CXCursor member, char* out, size_t size) {
  CXCursor parent = clang_getCursorSemanticParent(member);
  enum CXCursorKind kind = clang_getCursorKind(parent);
  CXCursor named = kind == CXCursor_ObjCCategoryDecl ? first(parent, CXCursor_ObjCClassRef, CXChildVisit_Continue) : parent;
  CXString spelling = clang_getCursorSpelling(named);
  snprintf(out, size, kind == CXCursor_ObjCProtocolDecl ? "<%s>" : "%s", clang_getCString(spelling));
  clang_disposeString(spelling);
}

static void printUse(const char* how, const char* container, CXCursor decl, int guard, CXCursor at) {
  char file[4096];
  unsigned line;
  fileOf(at, file, sizeof file, &line);
  CXString name = clang_getCursorSpelling(decl);
  printf("send\t%s\t%s\t%s\t%d.%d\t%s:%u\n", how, container, clang_getCString(name), guard / 100, guard % 100,
         relative(file), line);
  clang_disposeString(name);
}

// One use at `at` of the declaration `decl`, under `guard`.
static void use(CXCursor at, CXCursor decl, int guard) {
  if (clang_Cursor_isNull(decl)) return;
  char file[4096];
  unsigned line;
  fileOf(decl, file, sizeof file, &line);
  int fromCompat = isCompat(file) || isSdk(file);
  int fromProject = !fromCompat && strncmp(file, root, rootLength) == 0;
  int fromFramework = fromCompat || strstr(file, "/GNUstep/") != NULL;

  if (fromCompat) {
    int since = introduced(decl);
    if (since > deploymentTarget && guard < since) {
      char where[4096];
      unsigned whereLine;
      fileOf(at, where, sizeof where, &whereLine);
      CXString name = clang_getCursorSpelling(decl);
      printf("late\t%s\t%d.%d\t%d.%d\t%s:%u\n", clang_getCString(name), since / 100, since % 100, guard / 100,
             guard % 100, relative(where), whereLine);
      clang_disposeString(name);
    }
  }
  if (fromProject || !fromFramework) return;

  char container[512];
  switch (clang_getCursorKind(decl)) {
    case CXCursor_ObjCInstanceMethodDecl:
    case CXCursor_ObjCClassMethodDecl:
      containerOf(decl, container, sizeof container);
      printUse(clang_getCursorKind(decl) == CXCursor_ObjCClassMethodDecl ? "+" : "-", container, decl, guard, at);
      break;
    case CXCursor_ObjCPropertyDecl:
      containerOf(decl, container, sizeof container);
      printUse(".", container, decl, guard, at);
      break;
    case CXCursor_FunctionDecl:
      printUse("f", "-", decl, guard, at);
      break;
    default:
      break;
  }
}

struct Walk {
  int guard;
};

// The macOS version an @available(macOS N, *) expression asks for; 0 if none.
static int availabilityAsked(CXCursor check) {
  CXTranslationUnit tu = clang_Cursor_getTranslationUnit(check);
  CXToken* tokens;
  unsigned count;
  clang_tokenize(tu, clang_getCursorExtent(check), &tokens, &count);
  int version = 0;
  for (unsigned i = 0; i + 1 < count && version == 0; ++i) {
    CXString word = clang_getTokenSpelling(tu, tokens[i]);
    if (strcmp(clang_getCString(word), "macOS") == 0 || strcmp(clang_getCString(word), "macos") == 0) {
      CXString number = clang_getTokenSpelling(tu, tokens[i + 1]);
      int major = 0, minor = 0;
      sscanf(clang_getCString(number), "%d.%d", &major, &minor);
      version = major * 100 + minor;
      clang_disposeString(number);
    }
    clang_disposeString(word);
  }
  clang_disposeTokens(tu, tokens, count);
  return version;
}

struct Children {
  CXCursor items[8];
  unsigned count;
};

static enum CXChildVisitResult collect(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  struct Children* children = data;
  if (children->count < 8) children->items[children->count++] = c;
  return CXChildVisit_Continue;
}

// Every property (or getter) name the frameworks and the compat header
// declare: a member access by one of these names that clang leaves
// unresolved is taken for a property use it could not check.
static char** frameworkProperties;
static unsigned frameworkPropertyCount, frameworkPropertyCapacity;

static enum CXChildVisitResult gatherProperties(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  (void)data;
  enum CXCursorKind kind = clang_getCursorKind(c);
  if (kind == CXCursor_ObjCInterfaceDecl || kind == CXCursor_ObjCCategoryDecl || kind == CXCursor_ObjCProtocolDecl)
    return CXChildVisit_Recurse;
  // GNUstep declares most properties as plain accessor methods.
  if (kind != CXCursor_ObjCPropertyDecl && kind != CXCursor_ObjCInstanceMethodDecl) return CXChildVisit_Continue;
  CXString spelling = clang_getCursorSpelling(c);
  int accessor = strchr(clang_getCString(spelling), ':') == NULL;
  clang_disposeString(spelling);
  if (!accessor) return CXChildVisit_Continue;
  char file[4096];
  unsigned line;
  fileOf(c, file, sizeof file, &line);
  if (!isCompat(file) && !isSdk(file) && strstr(file, "/GNUstep/") == NULL) return CXChildVisit_Continue;
  if (frameworkPropertyCount == frameworkPropertyCapacity) {
    frameworkPropertyCapacity = frameworkPropertyCapacity ? 2 * frameworkPropertyCapacity : 256;
    frameworkProperties = realloc(frameworkProperties, frameworkPropertyCapacity * sizeof *frameworkProperties);
    if (!frameworkProperties) {
      fprintf(stderr, "sends: out of memory\n");
      exit(2);
    }
  }
  CXString name = clang_getCursorSpelling(c);
  frameworkProperties[frameworkPropertyCount++] = strdup(clang_getCString(name));
  clang_disposeString(name);
  return CXChildVisit_Continue;
}

static int isFrameworkProperty(const char* name) {
  for (unsigned i = 0; i < frameworkPropertyCount; ++i)
    if (strcmp(frameworkProperties[i], name) == 0) return 1;
  return 0;
}

// A send or property access whose declaration clang could not find: in a
// template, a receiver of dependent type. libclang shows no instantiation,
// so nothing else would ever look at it.
// clang names neither: a message's selector is read from its tokens (each
// "name:" at the message's own bracket depth, or the one name before its
// closing bracket), a member's name is the last identifier it spans.
static void spelledName(CXCursor c, int message, char* out, size_t size) {
  CXTranslationUnit tu = clang_Cursor_getTranslationUnit(c);
  CXToken* tokens;
  unsigned count;
  clang_tokenize(tu, clang_getCursorExtent(c), &tokens, &count);
  out[0] = '\0';
  size_t used = 0;
  int depth = 0, conditionals = 0;
  char last[256] = "";
  for (unsigned i = 0; i < count; ++i) {
    CXString word = clang_getTokenSpelling(tu, tokens[i]);
    const char* text = clang_getCString(word);
    int identifier = clang_getTokenKind(tokens[i]) == CXToken_Identifier;
    if (!message) {
      if (identifier) snprintf(out, size, "%s", text);
    } else if (strcmp(text, "[") == 0 || strcmp(text, "(") == 0 || strcmp(text, "{") == 0) {
      ++depth;
    } else if (strcmp(text, "]") == 0 || strcmp(text, ")") == 0 || strcmp(text, "}") == 0) {
      if (--depth == 0 && used == 0) snprintf(out, size, "%s", last);
    } else if (depth == 1 && identifier) {
      snprintf(last, sizeof last, "%s", text);
    } else if (depth == 1 && strcmp(text, "?") == 0) {
      ++conditionals;  // its ':' separates values, not selector parts
    } else if (depth == 1 && strcmp(text, ":") == 0 && conditionals > 0) {
      --conditionals;
      last[0] = '\0';
    } else if (depth == 1 && strcmp(text, ":") == 0 && last[0] && used + strlen(last) + 2 < size) {
      used += (size_t)snprintf(out + used, size - used, "%s:", last);
      last[0] = '\0';
    }
    clang_disposeString(word);
  }
  clang_disposeTokens(tu, tokens, count);
}

static void unresolved(CXCursor c, enum CXCursorKind kind) {
  int message = kind == CXCursor_ObjCMessageExpr;
  char name[512];
  spelledName(c, message, name, sizeof name);
  if (!message && !isFrameworkProperty(name)) return;
  char file[4096];
  unsigned line;
  fileOf(c, file, sizeof file, &line);
  printf("error\t%s:%u: %s %s cannot be resolved here (its receiver depends on a template parameter): "
         "name the receiver's class, e.g. through a variable of that type\n",
         relative(file), line, message ? "the message" : "the property", name[0] ? name : "(unnamed)");
}

static enum CXChildVisitResult walk(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  struct Walk* outer = data;
  enum CXCursorKind kind = clang_getCursorKind(c);
  if (clang_isExpression(kind) || clang_isReference(kind)) {
    CXCursor referenced = clang_getCursorReferenced(c);
    if (clang_Cursor_isNull(referenced) && (kind == CXCursor_ObjCMessageExpr || kind == CXCursor_MemberRefExpr))
      unresolved(c, kind);
    use(c, referenced, outer->guard);
  }

  if (kind == CXCursor_IfStmt) {
    // if (@available(macOS N, *)) guards its first branch only: the child
    // after the condition, the first expression among the children.
    struct Children children = {.count = 0};
    clang_visitChildren(c, collect, &children);
    int asked = 0;
    unsigned guarded = children.count;
    for (unsigned i = 0; i < children.count; ++i) {
      struct Walk inner = *outer;
      if (i == guarded && asked > inner.guard) inner.guard = asked;
      if (guarded == children.count && clang_isExpression(clang_getCursorKind(children.items[i]))) {
        CXCursor check = clang_getCursorKind(children.items[i]) == CXCursor_ObjCAvailabilityCheckExpr
                             ? children.items[i]
                             : first(children.items[i], CXCursor_ObjCAvailabilityCheckExpr, CXChildVisit_Recurse);
        if (!clang_Cursor_isNull(check)) asked = availabilityAsked(check);
        guarded = i + 1;
      }
      walk(children.items[i], c, &inner);
    }
    return CXChildVisit_Continue;
  }
  clang_visitChildren(c, walk, outer);
  return CXChildVisit_Continue;
}

static enum CXChildVisitResult top(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  if (!clang_Location_isFromMainFile(clang_getCursorLocation(c))) return CXChildVisit_Continue;
  return walk(c, parent, data);
}

// Declarations of the compat header that must say when Apple introduced
// them. A property's accessors are the compiler's, spelt where the property
// is, and share its version.
static unsigned propertyLines[1024];
static unsigned propertyCount;

static enum CXChildVisitResult properties(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  (void)data;
  if (clang_getCursorKind(c) == CXCursor_ObjCPropertyDecl && propertyCount < 1024) {
    char file[4096];
    fileOf(c, file, sizeof file, &propertyLines[propertyCount]);
    ++propertyCount;
  }
  return CXChildVisit_Continue;
}

static int isAccessor(CXCursor method, unsigned line) {
  enum CXCursorKind kind = clang_getCursorKind(method);
  if (kind != CXCursor_ObjCInstanceMethodDecl && kind != CXCursor_ObjCClassMethodDecl) return 0;
  for (unsigned i = 0; i < propertyCount; ++i)
    if (propertyLines[i] == line) return 1;
  return 0;
}

static enum CXChildVisitResult bare(CXCursor c, CXCursor parent, CXClientData data) {
  (void)parent;
  (void)data;
  char file[4096];
  unsigned line;
  fileOf(c, file, sizeof file, &line);
  if (!isCompat(file)) return CXChildVisit_Continue;
  enum CXCursorKind kind = clang_getCursorKind(c);
  int checked = 0;
  switch (kind) {
    case CXCursor_ObjCCategoryDecl:  // ours; what it declares is Apple's
    case CXCursor_ObjCInterfaceDecl:
    case CXCursor_ObjCProtocolDecl:
      checked = kind != CXCursor_ObjCCategoryDecl;
      propertyCount = 0;
      clang_visitChildren(c, properties, NULL);
      clang_visitChildren(c, bare, NULL);
      break;
    case CXCursor_EnumDecl:
    case CXCursor_LinkageSpec:
      return CXChildVisit_Recurse;
    case CXCursor_ObjCInstanceMethodDecl:
    case CXCursor_ObjCClassMethodDecl:
    case CXCursor_ObjCPropertyDecl:
    case CXCursor_FunctionDecl:
    case CXCursor_StructDecl:
    case CXCursor_TypedefDecl:
    case CXCursor_EnumConstantDecl:
    case CXCursor_VarDecl:
      checked = !isAccessor(c, line);
      break;
    default:
      break;
  }
  if (checked && introduced(c) == 0) {
    CXString name = clang_getCursorSpelling(c);
    CXString kindName = clang_getCursorKindSpelling(kind);
    printf("bare\t%s\t%s\t%s:%u\n", clang_getCString(kindName), clang_getCString(name),
           relative(file), line);
    clang_disposeString(kindName);
    clang_disposeString(name);
  }
  return CXChildVisit_Continue;
}

int main(int argc, char** argv) {
  if (argc < 5 || strcmp(argv[4], "--") != 0) {
    fprintf(stderr, "usage: sends FILE COMPAT-HEADER PROJECT-ROOT -- CLANG-ARGUMENTS...\n");
    return 2;
  }
  compat = argv[2];
  const char* folder = strrchr(compat, '/');
  if (folder) {
    size_t up = (size_t)(folder - compat);  // .../macos/compat
    while (up > 0 && compat[up - 1] != '/') --up;
    snprintf(sdk, sizeof sdk, "%.*ssdk/", (int)up, compat);
  }
  root = argv[3];
  rootLength = strlen(root);
  CXIndex index = clang_createIndex(0, 0);
  CXTranslationUnit tu;
  enum CXErrorCode error = clang_parseTranslationUnit2(index, argv[1], (const char* const*)argv + 5, argc - 5, NULL,
                                                       0, CXTranslationUnit_None, &tu);
  if (error != CXError_Success) {
    fprintf(stderr, "sends: %s does not parse (libclang error %d)\n", argv[1], (int)error);
    return 2;
  }
  int failed = 0;
  for (unsigned i = 0, n = clang_getNumDiagnostics(tu); i < n; ++i) {
    CXDiagnostic d = clang_getDiagnostic(tu, i);
    if (clang_getDiagnosticSeverity(d) >= CXDiagnostic_Error) {
      CXString text = clang_formatDiagnostic(d, clang_defaultDiagnosticDisplayOptions());
      fprintf(stderr, "%s\n", clang_getCString(text));
      clang_disposeString(text);
      failed = 1;
    }
    clang_disposeDiagnostic(d);
  }
  if (failed) return 2;
  struct Walk start = {.guard = 0};
  CXCursor unit = clang_getTranslationUnitCursor(tu);
  clang_visitChildren(unit, gatherProperties, NULL);
  clang_visitChildren(unit, top, &start);
  clang_visitChildren(unit, bare, NULL);
  clang_disposeTranslationUnit(tu);
  clang_disposeIndex(index);
  return 0;
}
