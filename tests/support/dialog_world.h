// A world for the dialog tests: a temporary game folder with its SystemBlock (the current folder
// while it lives), a user documents folder and a registry file of its own, a script engine
// holding the dialog texts of language 44, the StartupBlock fields the dialogs edit, and a clean
// dialog script. Everything is put back when it ends.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/entry.h"
#include "app/settings.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "devices/input.h"
#include "platform/dialog.h"
#include "platform/gpu_adapter.h"
#include "platform/joystick_list.h"
#include "platform/registry.h"
#include "render/display_modes.h"
#include "render/render.h"
#include "script/engine.h"
#include "script/text_database.h"
#include "support/catalog_world.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

// The dialog texts; "für" and "€" are outside ASCII so the code-page conversion shows.
inline const char kDialogTexts[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<language id=\"44\">\n"
    " <page id=\"1910\">\n"
    "  <t id=\"106\">Starter für Vexa</t><t id=\"1\">Spiel starten</t><t id=\"2\">Abbrechen</t>\n"
    "  <t id=\"1216\">Vexa:NL</t><t id=\"1217\">Info ohne Paket</t><t id=\"1218\">Info mit Paket</t>\n"
    "  <t id=\"1197\">Grafik</t><t id=\"1199\">Eingabe</t><t id=\"1201\">Bildschirmfotos</t>\n"
    "  <t id=\"1242\">Mod-Paket</t><t id=\"1249\">Aktualisieren</t><t id=\"1108\">Standardwerte beim Start</t>\n"
    "  <t id=\"10000\">https://updates.invalid/vexa</t>\n"
    " </page>\n"
    " <page id=\"1912\">\n"
    "  <t id=\"110\">Grafik</t><t id=\"1102\">OK</t><t id=\"1103\">Abbrechen</t><t id=\"1101\">Standard</t>\n"
    "  <t id=\"1250\">Gerät und Auflösung</t><t id=\"1219\">Gerät</t><t id=\"1220\">Auflösung</t>\n"
    "  <t id=\"1096\">Vollbild</t><t id=\"1095\">Fenster</t><t id=\"1251\">Qualität</t><t id=\"1248\">Texturen</t>\n"
    "  <t id=\"1247\">Shader</t><t id=\"1254\">Dynamische Lichter</t><t id=\"1255\">Schiffsfarben</t>\n"
    "  <t id=\"1068\">Automatische Qualität</t><t id=\"1252\">Effekte</t><t id=\"1222\">Kantenglättung</t>\n"
    "  <t id=\"1241\">Anisotrop</t><t id=\"1242\">Glühen</t><t id=\"1257\">Fehlersuche</t>\n"
    "  <t id=\"1256\">Keine Vertex-Optimierung</t><t id=\"1258\">Keine Codec-Steuerung</t>\n"
    "  <t id=\"10000\">niedrig</t><t id=\"10001\">mittel</t><t id=\"10002\">hoch</t>\n"
    "  <t id=\"11000\">2x</t><t id=\"11001\">4x</t><t id=\"11002\">6x</t><t id=\"11003\">8x</t>\n"
    "  <t id=\"12000\">bilinear</t><t id=\"12001\">4:1</t><t id=\"12002\">8:1</t><t id=\"12003\">16:1</t>\n"
    " </page>\n"
    " <page id=\"1913\">\n"
    "  <t id=\"1\">OK</t><t id=\"2\">Abbrechen</t><t id=\"1221\">Ordner der Bildschirmfotos</t>\n"
    "  <t id=\"164\">Bildschirmfotos</t><t id=\"10000\">Ordner anlegen?</t><t id=\"10001\">Frage</t>\n"
    "  <t id=\"10010\">Ordner nicht angelegt</t><t id=\"10011\">Fehler</t>\n"
    " </page>\n"
    " <page id=\"1914\">\n"
    "  <t id=\"144\">Eingabe</t><t id=\"10000\">schwach</t><t id=\"10001\">mittel</t><t id=\"10002\">stark</t>\n"
    " </page>\n"
    " <page id=\"1918\"><t id=\"179\">Mod-Paket</t><t id=\"1\">OK</t><t id=\"2\">Abbrechen</t><t id=\"3\">Kein "
    "Mod</t></page>\n"
    "</language>\n";

// The path layer keeps the user data folder it found first for the whole process, so every world
// of a process shares one documents folder, emptied when a world begins.
inline const TempDir& SharedDocumentsFolder() {
  static TempDir documents;
  setenv("XDG_DOCUMENTS_DIR", documents.path().c_str(), 1);
  return documents;
}

class DialogWorld {
 public:
  DialogWorld() : user_(SharedDocumentsFolder()) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(user_.path(), error))
      std::filesystem::remove_all(entry.path(), error);
    previousRegistry_ = RegistryGetFilePath();
    RegistrySetFilePath(user_.File("registry.xml").c_str());
    InitXml();
    engine_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    EXPECT_TRUE(engine_ && InitEngineContext(engine_));
    xmlDocPtr document = ParseXmlMemory(kDialogTexts, "texts");
    EXPECT_NE(document, nullptr);
    if (document) {
      EXPECT_GT(ReadLanguageFile(xmlDocGetRootElement(document), engine_), 0);
      XmlFreeDoc(document);
    }
    SystemBlock* s = world_.block();
    s->captureFolder = DuplicateString("screenshots");
    s->screenWidth = 1024;
    s->screenHeight = 768;
    s->colourDepth = 32;
    s->textureQuality = 1;
    s->shaderQuality = 2;
    s->filterMode = 1;
    s->d3dFlags = 0x4213AD5F;
    s->d3dFlags2 = 0x281;
    s->inputFlags = 0x70200107;
    s->audioFlags = 0x103;
    gStartup = StartupBlock{};
    gStartup.adapterOrdinal = -1;
    gStartup.forceFeedbackGain = 2;
    gStartup.appActive = 1;
    // A capable adapter on the null device that offers the configured 1024x768x32, so the
    // dialogs' mode selection succeeds as it does on a real desktop.
    GpuSetBackend(kGpuBackendNull);
    GpuAdapterModel model = GpuDefaultAdapterModel(16, true);
    model.desktop = GpuDisplayMode{1920, 1080, 60, kGpuFmtX8R8G8B8};
    model.modes = {{1024, 768, 60, kGpuFmtX8R8G8B8}, {1280, 1024, 60, kGpuFmtX8R8G8B8}};
    GpuSetAdapterModels({model});
    CreateDirect3D();
    DialogSetScript(nullptr, 0);
    DialogSetHeadlessUrlAnswer(false);
    JoystickSetTestDevices(nullptr, 0, true);
  }

  ~DialogWorld() {
    DialogSetScript(nullptr, 0);
    DialogSetHeadlessUrlAnswer(false);
    JoystickUseSystem();
    SetDisplayAdaptersForTest(nullptr, 0);
    FreeDirect3DContext();
    GpuSetAdapterModels({});
    GpuSetBackend(kGpuBackendOpenGl);
    gInputState = nullptr;
    SystemBlock* s = world_.block();
    s->captureFolder = FreeString(s->captureFolder);
    s->defaultProfile = FreeString(s->defaultProfile);
    s->registeredOwner = FreeString(s->registeredOwner);
    gLogoPictureName = FreeString(gLogoPictureName);
    gStartup.adapterName = FreeString(gStartup.adapterName);
    if (gStartup.joystick) MemFree(gStartup.joystick, 16, 0);
    gStartup = StartupBlock{};
    FreeAllTexts(engine_);
    FreeEngineTables(engine_);
    MemFreeIfSet(engine_);
    gScriptEngine = nullptr;
    RegistrySetFilePath(previousRegistry_.empty() ? nullptr : previousRegistry_.c_str());
  }

  DialogWorld(const DialogWorld&) = delete;
  DialogWorld& operator=(const DialogWorld&) = delete;

  SystemBlock* block() const { return world_.block(); }
  const TempDir& game() const { return world_.dir(); }
  // The user data folder: documents, "Korvane", the product folder.
  std::string UserFolder(const std::string& relative = "") const {
    std::string folder = user_.path() + "/Korvane/" + kProductRecord.folderName;
    return relative.empty() ? folder : folder + "/" + relative;
  }

 private:
  const TempDir& user_;
  CatalogWorld world_;
  std::string previousRegistry_;
  ScriptEngine* engine_ = nullptr;
};

// Builds a scripted action tersely.
inline DialogAction Act(int32_t dialog, DialogActionKind kind, int32_t control = 0, int32_t value = 0,
                        const char* text = nullptr, DialogInspect inspect = nullptr) {
  return DialogAction{dialog, kind, control, value, text, inspect};
}
