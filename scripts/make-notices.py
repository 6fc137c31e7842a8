#!/usr/bin/env python3
"""Writes the notice files updater/data/infotext.<suffix>.rtf: the three rules that
the notice window shows before the update program starts, in 13 languages.
Each file is 8-bit RTF in its language's Windows code page; characters outside that
code page are written as \\uN with a '?' fallback."""
import pathlib

# suffix: (Windows code page, RTF font charset, language id, the three rules)
NOTICES = {
    "de": (1252, 0, 1031, [
        "Schließen Sie immer nur ein Gerät an oder einen Radio Master zusammen mit seinem Radio-Port oder Relay-Port.",
        "Entfernen Sie nach einem Update alle Geräte, auch den Radio Master, bevor Sie das nächste Update starten.",
        "Stellen Sie sicher, dass die Akkus vollständig geladen sind.",
    ]),
    "uk": (1252, 0, 2057, [
        "Attach only one device at a time, or one Radio Master together with its Radio-Port or Relay-Port.",
        "After an update, remove all devices, the Radio Master included, before you start the next update.",
        "Make sure that the batteries are fully charged.",
    ]),
    "sp": (1252, 0, 3082, [
        "Conecte solo un dispositivo a la vez, o un Radio Master junto con su Radio-Port o Relay-Port.",
        "Después de una actualización, desconecte todos los dispositivos, incluido el Radio Master, antes de iniciar la siguiente actualización.",
        "Asegúrese de que las baterías estén completamente cargadas.",
    ]),
    "ru": (1251, 204, 1049, [
        "Подключайте только одно устройство за раз или один Radio Master вместе с его Radio-Port или Relay-Port.",
        "После обновления отключите все устройства, включая Radio Master, прежде чем начинать следующее обновление.",
        "Убедитесь, что аккумуляторы полностью заряжены.",
    ]),
    "pl": (1250, 238, 1045, [
        "Podłączaj tylko jedno urządzenie naraz albo jeden Radio Master razem z jego Radio-Port lub Relay-Port.",
        "Po aktualizacji odłącz wszystkie urządzenia, łącznie z Radio Master, zanim rozpoczniesz następną aktualizację.",
        "Upewnij się, że akumulatory są w pełni naładowane.",
    ]),
    "fr": (1252, 0, 1036, [
        "Ne branchez qu’un seul appareil à la fois, ou un Radio Master avec son Radio-Port ou son Relay-Port.",
        "Après une mise à jour, débranchez tous les appareils, y compris le Radio Master, avant de lancer la mise à jour suivante.",
        "Assurez-vous que les batteries sont entièrement chargées.",
    ]),
    "pt": (1252, 0, 2070, [
        "Ligue apenas um dispositivo de cada vez, ou um Radio Master juntamente com o seu Radio-Port ou Relay-Port.",
        "Após uma atualização, desligue todos os dispositivos, incluindo o Radio Master, antes de iniciar a atualização seguinte.",
        "Certifique-se de que as baterias estão totalmente carregadas.",
    ]),
    "cs": (1250, 238, 1029, [
        "Připojujte vždy jen jedno zařízení, nebo jeden Radio Master spolu s jeho Radio-Port nebo Relay-Port.",
        "Po aktualizaci odpojte všechna zařízení včetně Radio Master, než spustíte další aktualizaci.",
        "Ujistěte se, že jsou baterie plně nabité.",
    ]),
    "hr": (1250, 238, 1050, [
        "Priključujte samo jedan uređaj odjednom ili jedan Radio Master zajedno s njegovim uređajem Radio-Port ili Relay-Port.",
        "Nakon ažuriranja odspojite sve uređaje, uključujući Radio Master, prije pokretanja sljedećeg ažuriranja.",
        "Provjerite jesu li baterije potpuno napunjene.",
    ]),
    "ukr": (1251, 204, 1058, [
        "Підключайте лише один пристрій одночасно або один Radio Master разом з його Radio-Port чи Relay-Port.",
        "Після оновлення від’єднайте всі пристрої, включно з Radio Master, перш ніж починати наступне оновлення.",
        "Переконайтеся, що акумулятори повністю заряджені.",
    ]),
    "kk": (1251, 204, 1087, [
        "Бір уақытта тек бір құрылғыны немесе бір Radio Master-ді оның Radio-Port не Relay-Port құрылғысымен бірге ғана қосыңыз.",
        "Жаңартудан кейін келесі жаңартуды бастамас бұрын барлық құрылғыларды, соның ішінде Radio Master-ді де ажыратыңыз.",
        "Батареялардың толық зарядталғанына көз жеткізіңіз.",
    ]),
    "it": (1252, 0, 1040, [
        "Collegare un solo dispositivo alla volta, oppure un Radio Master insieme al suo Radio-Port o Relay-Port.",
        "Dopo un aggiornamento, scollegare tutti i dispositivi, compreso il Radio Master, prima di avviare l’aggiornamento successivo.",
        "Assicurarsi che le batterie siano completamente cariche.",
    ]),
    "vi": (1258, 163, 1066, [
        "Mỗi lần chỉ kết nối một thiết bị, hoặc một Radio Master cùng với Radio-Port hay Relay-Port của nó.",
        "Sau khi cập nhật, hãy tháo tất cả các thiết bị, kể cả Radio Master, trước khi bắt đầu lần cập nhật tiếp theo.",
        "Hãy đảm bảo rằng pin đã được sạc đầy.",
    ]),
}


def escape(text, codepage):
    out = []
    for ch in text:
        if ch in "\\{}":
            out.append("\\" + ch)
        elif ord(ch) < 0x80:
            out.append(ch)
        else:
            try:
                b = ch.encode(f"cp{codepage}")
            except UnicodeEncodeError:
                b = b""
            if len(b) == 1:
                out.append(f"\\'{b[0]:02x}")
            else:
                n = ord(ch)
                assert n <= 0xFFFF
                out.append(f"\\u{n - 0x10000 if n > 0x7FFF else n}?")
    return "".join(out)


def notice(codepage, charset, lang, rules):
    lines = [
        f"{{\\rtf1\\ansi\\ansicpg{codepage}\\deff0\\deflang{lang}"
        f"{{\\fonttbl{{\\f0\\fswiss\\fcharset{charset} Arial;}}}}",
        "{\\colortbl ;\\red0\\green0\\blue0;}",
        "{\\*\\generator Zelto5 notice writer;}\\viewkind4\\uc1",
    ]
    for number, rule in enumerate(rules, 1):
        lines.append(f"\\pard\\tx360\\li360\\fi-360\\sa160\\f0\\fs20\\b {number}.\\b0\\tab {escape(rule, codepage)}\\par")
    lines.append("}")
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def main():
    folder = pathlib.Path(__file__).resolve().parent.parent / "updater" / "data"
    folder.mkdir(parents=True, exist_ok=True)
    for suffix, (codepage, charset, lang, rules) in NOTICES.items():
        path = folder / f"infotext.{suffix}.rtf"
        path.write_bytes(notice(codepage, charset, lang, rules))
        print(f"wrote {path}")


if __name__ == "__main__":
    main()
