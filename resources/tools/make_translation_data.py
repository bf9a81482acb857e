#!/usr/bin/env python3
"""Writes the language-1 TranslationData that a window's translator embeds, as the
hex of a `TranslationData = {...}` line, and prints its byte count on stderr.

  make_translation_data.py frmMain
  make_translation_data.py frmDownload

Each entry is key, 0x01, value, 0x01; every line ends with CR LF; the eleven
section headers from stCaptions to stCharSets are all written, empty or not.
"""
import sys

KINDS = ["stCaptions", "stHints", "stDisplayLabels", "stFonts", "stMultiLines", "stDlgsCaptions",
         "stStrings", "stOtherStrings", "stLocales", "stCollections", "stCharSets"]

DIALOGS = [("Warning", "Warning"), ("Error", "Error"), ("Information", "Information"),
           ("Confirm", "Confirm"), ("Yes", "&Yes"), ("No", "&No"), ("OK", "OK"), ("Cancel", "Cancel"),
           ("Abort", "&Abort"), ("Retry", "&Retry"), ("Ignore", "&Ignore"), ("All", "&All"),
           ("No To All", "N&o to All"), ("Yes To All", "Yes to &All"), ("Help", "&Help")]


def main_window():
    captions = [("lblInfo", "Information:"), ("lblSite", "Our site"), ("lblFreeware", "Freeware page"),
                ("lblForums", "Forums"), ("lblNews", "Our news"), ("lblNewsletter", "Free newsletter"),
                ("lblTechSupport", "Tech-support:"), ("lblFaq", "Free services"),
                ("lblHead", "Applications:"),
                ("lblSubscription", "Subscribe to free newsletters and stay informed !"),
                ("lblDownloadAll", "Download all freeware at once")]
    font_keys = (["TfrmMain", "lblInfo", "lblSite", "lblFreeware", "lblForums", "lblNews", "lblNewsletter",
                  "lblTechSupport", "lblFaq", "lblSupport"] +
                 ["lblApp%d" % i for i in range(1, 21)] + ["lblHead", "lblSubscription", "lblDownloadAll"])
    return {
        "stCaptions": captions,
        "stFonts": [(k, "Tahoma") for k in font_keys],
        "stDlgsCaptions": DIALOGS,
        "stStrings": [("IDS_3", "is not installed on your computer. Do you want to download and install it now?"),
                      ("IDS_1", "Download all freeware at once. One installation for all programs!")],
        "stOtherStrings": [("TfrmMain.HelpFile", "")],
        "stCharSets": [(k, "DEFAULT_CHARSET") for k in font_keys],
    }


def download_window():
    font_keys = ["TfrmDownload", "lblHead", "pnlStatus"]
    return {
        "stCaptions": [("btnCancel", "Cancel"), ("btnDownload", "Download and install")],
        "stFonts": [(k, "Tahoma") for k in font_keys],
        "stDlgsCaptions": DIALOGS,
        "stOtherStrings": [("TfrmDownload.HelpFile", "")],
        "stCharSets": [(k, "DEFAULT_CHARSET") for k in font_keys],
    }


def finish_download_window():
    # The window's own entry first, then the two labels with fonts of their own.
    font_keys = ["TfrmFinishDownload", "lblCaptionConverter1", "lblLinkConverter1"]
    return {
        "stCaptions": [("TfrmFinishDownload", "Thank you for downloading!"), ("btnDownload", "Continue"),
                       ("btnLearnMore", "Learn more...")],
        "stFonts": [(k, "Tahoma") for k in font_keys],
        "stDlgsCaptions": DIALOGS,
        "stOtherStrings": [("TfrmFinishDownload.HelpFile", "")],
        "stCharSets": [(k, "DEFAULT_CHARSET") for k in font_keys],
    }


def preferences_window():
    # Every translated control keeps its font and charset too; the About page's
    # name, version and links are not translated. lblTranslateGuide's form text is
    # a shorter one with an ellipsis; the translations carry the full sentence.
    captions = ([("TfrmPreferences", "Preferences"), ("tsLanguage", "Language"),
                 ("tsSubscription", "Subscription"), ("tsAbout", "About"), ("btnClose", "Close"),
                 ("Label1", "Select your language:"), ("lblAuthorName", " "),
                 ("lblTranslateHead",
                  "If you haven't found your language, you can translate the program by yourself:")] +
                [("lblStep%d" % i, "Step %d:" % i) for i in range(1, 7)] +
                [("lblStep1Desc", "Launch Language Editor"),
                 ("lblStep2Desc", "Open the Translate.sib file located in the program's folder."),
                 ("lblStep3Desc", "Select the Tools\\Add Language... menu item, set your language name."),
                 ("lblStep4Desc", "Translate English text in Editor and save changes."),
                 ("lblStep5Desc", "Restart the program and select your language."),
                 ("lblStep6Desc", "Send your Translate.sib file to support@kestrelweave.com"),
                 ("lblTranslateGuide", "Detailed Guide: How to translate the program and become famous"),
                 ("lblCaptionSubscription", "Subscribe and Stay Informed !"),
                 ("lblDescriptionSubscription",
                  "Be the first who knows about our news and future plans! Start to benefit from this information."),
                 ("lblLinkSubscription", "Subscribe now..."), ("lblFAQ", "FAQ")])
    font_keys = [key for key, _ in captions]
    return {
        "stCaptions": captions,
        "stFonts": [(k, "Tahoma") for k in font_keys],
        "stMultiLines": [("cmbLanguage.Items", "")],
        "stDlgsCaptions": DIALOGS,
        "stCharSets": [(k, "DEFAULT_CHARSET") for k in font_keys],
    }


def translation_data(sections):
    data = b""
    for kind in KINDS:
        data += kind.encode() + b"\r\n"
        for key, value in sections.get(kind, []):
            data += key.encode("cp1252") + b"\x01" + value.encode("cp1252") + b"\x01\r\n"
    return data


def main():
    windows = {"frmMain": main_window, "frmDownload": download_window,
               "frmFinishDownload": finish_download_window, "frmPreferences": preferences_window}
    if len(sys.argv) != 2 or sys.argv[1] not in windows:
        sys.exit(__doc__)
    data = translation_data(windows[sys.argv[1]]())
    hex_text = data.hex().upper()
    print("    TranslationData = {")
    for i in range(0, len(hex_text), 64):
        print("      " + hex_text[i:i + 64] + ("}" if i + 64 >= len(hex_text) else ""))
    print("%d bytes" % len(data), file=sys.stderr)


if __name__ == "__main__":
    main()
