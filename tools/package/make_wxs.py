#!/usr/bin/env python3
"""Writes the WiX source of one Windows Installer package, and the SQL that
completes what wixl cannot express.

The control's COM registration is not written down here: it comes from the
registry exports that capture_registration.sh takes before and after
regsvr32 registers each build (what DllRegisterServer itself writes,
including what RegisterTypeLib and the component categories manager add).
Every value that appeared is turned into a Registry row of the package; the
scratch paths the DLLs were registered from become references to the
installed files and folders.

    make_wxs.py ARCH VERSION CAPTURE_DIR BIN_DIR OUT.wxs OUT.sql

ARCH is x64 (agent, x86_64 control in the 64-bit view, i686 control in the
32-bit view) or x86 (agent and i686 control). BIN_DIR holds ZedudeVeri.exe,
Zaduze.dll and, for x64, x86/Zaduze.dll, plus ZedudeVeri.ico.
"""
import sys
import uuid
from xml.sax.saxutils import quoteattr

from regfile import added, parse_reg

# Fixed forever: every version and both architectures share it, so a newer
# package replaces an older one and one package replaces the other.
UPGRADE_CODE = "{5B0C8E27-3F6A-4E1D-9C55-7A1D2B94E0C3}"
# Component and product codes are derived from names, so that a rebuild of
# the same version yields the same package identity.
NAMESPACE = uuid.UUID("0f7a4c1e-6b2d-4d8e-a3c1-5e9b2f7d8a61")
# Each user's copy of the install folder value is written at that user's
# next logon through Active Setup.
ACTIVE_SETUP_ID = "{6E2F4A90-1C3B-4F7D-8E5A-0B9C7D3E2F14}"
CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes"


def guid(*parts):
    return "{%s}" % str(uuid.uuid5(NAMESPACE, "/".join(parts))).upper()


def formatted(text, paths):
    """A literal text as an MSI formatted value, scratch paths replaced."""
    text = text.replace("[", "\x01").replace("]", "\x02")
    text = text.replace("\x01", "[\\[]").replace("\x02", "[\\]]")
    for scratch, ref in paths:
        text = text.replace(scratch, ref)
    if text.startswith("#"):
        text = "#" + text  # a leading # would make it a number
    return text


class Rows:
    def __init__(self):
        self.components = []  # (id, dir, win64, keypath-xml-or-None, body, flags)
        self.sql = []

    def registry(self, comp, key, values, paths):
        """RegistryValue elements of one captured key below Classes."""
        out = []
        rel = key[len(CLASSES) + 1:]
        if not values:
            # An empty key: created with the component, removed with it.
            rid = "reg" + guid(comp, rel).strip("{}").replace("-", "")[:30]
            self.sql.append("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) "
                            "VALUES ('%s', 2, '%s', '*', '%s')" % (rid, ("Software\\Classes\\" + rel).replace("'", "''"),
                                                                  comp))
            return out
        for name in sorted(values):
            kind, data = values[name]
            attrs = 'Root="HKLM" Key=%s' % quoteattr("Software\\Classes\\" + rel)
            if name:
                attrs += " Name=%s" % quoteattr(name)
            if kind == "dword":
                attrs += ' Type="integer" Value="%d"' % data
            elif kind != "sz":
                raise SystemExit("registration value of a type not handled: %s %s %s" % (key, name, data))
            else:
                attrs += ' Type="string" Value=%s' % quoteattr(formatted(data, paths))
            out.append("<RegistryValue %s/>" % attrs)
        return out


def main():
    arch, version, capdir, bindir, out_wxs, out_sql = sys.argv[1:7]
    scratch64, scratch32 = open(capdir + "/paths.txt").read().split()
    rows = Rows()
    win64 = arch == "x64"

    def view(bits):
        return added(parse_reg("%s/%s-before.reg" % (capdir, bits)), parse_reg("%s/%s-after.reg" % (capdir, bits)))

    wow = CLASSES + "\\Wow6432Node\\"
    def split(regs):
        """(native, 32-bit view): the export shows the 32-bit view's own keys
        below Wow6432Node; everything else is the native view (or shared)."""
        native, v32 = {}, {}
        for key, values in regs.items():
            if key.startswith(wow):
                v32[CLASSES + "\\" + key[len(wow):]] = values
            elif not key.startswith(CLASSES + "\\"):
                raise SystemExit("registration outside the classes: " + key)
            else:
                native[key] = values
        return native, v32

    dll64 = [(scratch64 + "\\Zaduze.dll", "[#Control64Dll]"), (scratch64, "[INSTALLDIR]")]
    dll32 = [(scratch32 + "\\Zaduze.dll", "[#Control32Dll]"), (scratch32, "[INSTALLDIR32]" if win64 else "[INSTALLDIR]")]
    native32, wow32 = split(view("32"))
    # (component, directory, 64-bit view, file element or None, registrations, paths)
    parts = []
    if win64:
        native64, wow64 = split(view("64"))
        parts.append(("Control64", "INSTALLDIR", True,
                      '<File Id="Control64Dll" Name="Zaduze.dll" Source=%s KeyPath="yes"/>' % quoteattr(bindir + "/Zaduze.dll"),
                      native64, dll64))
        parts.append(("Control64Wow", "INSTALLDIR", False, None, wow64, dll64))
        parts.append(("Control32", "INSTALLDIR32", False,
                      '<File Id="Control32Dll" Name="Zaduze.dll" Source=%s KeyPath="yes"/>' % quoteattr(bindir + "/x86/Zaduze.dll"),
                      wow32, dll32))
        parts.append(("Control32Native", "INSTALLDIR32", True, None, native32, dll32))
    else:
        # One view on 32-bit Windows: both parts of the capture go there.
        merged = {k: dict(v) for k, v in native32.items()}
        for k, v in wow32.items():
            merged.setdefault(k, {}).update(v)
        parts.append(("Control32", "INSTALLDIR", False,
                      '<File Id="Control32Dll" Name="Zaduze.dll" Source=%s KeyPath="yes"/>' % quoteattr(bindir + "/Zaduze.dll"),
                      merged, dll32))

    components = []
    for comp, dirid, w64, file_xml, regs, paths in parts:
        body = [file_xml] if file_xml else []
        cats = []
        for key in sorted(regs):
            if key.startswith(CLASSES + "\\Component Categories\\"):
                cats.extend(rows.registry(comp + "Cats", key, regs[key], paths))
            else:
                body.extend(rows.registry(comp, key, regs[key], paths))
        if not file_xml:
            first = next((i for i, b in enumerate(body) if b.startswith("<RegistryValue")), None)
            if first is None:
                body = []
            else:
                body[first] = body[first].replace("/>", ' KeyPath="yes"/>')
        if body:
            components.append((comp, dirid, w64, body, False))
        if cats:
            # The categories are shared with every other control of the
            # machine (Windows registers them itself): left in place on
            # uninstall, as DllUnregisterServer leaves them.
            cats[0] = cats[0].replace("/>", ' KeyPath="yes"/>')
            components.append((comp + "Cats", dirid, w64, cats, True))

    agent_src = bindir + "/ZedudeVeri.exe"
    components.append(("Agent", "INSTALLDIR", win64,
                       ['<File Id="AgentExe" Name="ZedudeVeri.exe" Source=%s KeyPath="yes"/>' % quoteattr(agent_src)],
                       False))
    components.append(("UserPath", "INSTALLDIR", win64,
                       ['<RegistryValue Root="HKCU" Key="SOFTWARE\\Zaduze" Name="Path" Type="string" '
                        'Value="[INSTALLDIR]" KeyPath="yes"/>'], False))
    stub = '"[SystemFolder]reg.exe" add HKCU\\SOFTWARE\\Zaduze /v Path /d "[INSTALLDIR]\\" /f'
    asetup = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\" + ACTIVE_SETUP_ID
    components.append(("ActiveSetup", "INSTALLDIR", win64, [
        '<RegistryValue Root="HKLM" Key=%s Type="string" Value="Zaduze" KeyPath="yes"/>' % quoteattr(asetup),
        '<RegistryValue Root="HKLM" Key=%s Name="Version" Type="string" Value="%s"/>' %
        (quoteattr(asetup), version.replace(".", ",")),
        '<RegistryValue Root="HKLM" Key=%s Name="IsInstalled" Type="integer" Value="1"/>' % quoteattr(asetup),
        '<RegistryValue Root="HKLM" Key=%s Name="StubPath" Type="string" Value=%s/>' % (quoteattr(asetup),
                                                                                          quoteattr(stub)),
    ], False))
    # The site-lock policy, only when ALLOWEDSITES is given; for the x64
    # package in both registry views, for the controls of both browsers.
    for comp, w64 in ([("AllowedSites64", True), ("AllowedSites32", False)] if win64 else [("AllowedSites32", False)]):
        components.append((comp, "INSTALLDIR", w64, [
            '<RegistryValue Root="HKLM" Key="SOFTWARE\\Zaduze" Name="AllowedSites" Type="string" '
            'Value="[ALLOWEDSITES]" KeyPath="yes"/>'], False))
        # True again when the product is removed, so that the value goes with it.
        rows.sql.append("UPDATE `Component` SET `Condition` = 'ALLOWEDSITES OR REMOVE~=\"ALL\"' "
                        "WHERE `Component` = '%s'" % comp)

    for comp, _, w64, body, permanent in components:
        if permanent:
            attrs = (256 if w64 else 0) + 4 + 16
            rows.sql.append("UPDATE `Component` SET `Attributes` = %d WHERE `Component` = '%s'" % (attrs, comp))
    # An upgrade or repair without ALLOWEDSITES keeps the policy in place: the
    # value found in the registry (raw; 64-bit view for x64) becomes the
    # property unless the command line gives one.
    rows.sql += [
        "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('PREVIOUSALLOWEDSITES', 'PreviousAllowedSites')",
        "INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Name`, `Type`) VALUES "
        "('PreviousAllowedSites', 2, 'SOFTWARE\\Zaduze', 'AllowedSites', %d)" % (2 + 16 if win64 else 2),
        "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES "
        "('KeepAllowedSites', 51, 'ALLOWEDSITES', '[PREVIOUSALLOWEDSITES]')",
    ]
    for seq in ("InstallExecuteSequence", "InstallUISequence"):
        rows.sql += [
            "INSERT INTO `%s` (`Action`, `Sequence`) VALUES ('AppSearch', 50)" % seq,
            "INSERT INTO `%s` (`Action`, `Condition`, `Sequence`) VALUES "
            "('KeepAllowedSites', 'NOT ALLOWEDSITES AND PREVIOUSALLOWEDSITES', 51)" % seq,
        ]
    rows.sql.append("UPDATE `Property` SET `Value` = "
                    "'ALLOWEDSITES;PREVIOUSALLOWEDSITES;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' "
                    "WHERE `Property` = 'SecureCustomProperties'")

    def comp_xml(c, indent):
        comp, _, w64, body, _ = c
        pad = " " * indent
        return "%s<Component Id=\"%s\" Guid=\"%s\" Win64=\"%s\">\n%s\n%s</Component>" % (
            pad, comp, guid(arch, comp).strip("{}"), "yes" if w64 else "no",
            "\n".join(pad + "  " + b for b in body), pad)

    in_main = [c for c in components if c[1] == "INSTALLDIR"]
    in_32 = [c for c in components if c[1] == "INSTALLDIR32"]
    pf = "ProgramFiles64Folder" if win64 else "ProgramFilesFolder"
    dirs = ('    <Directory Id="TARGETDIR" Name="SourceDir">\n'
            '      <Directory Id="%s">\n        <Directory Id="INSTALLDIR" Name="Zaduze">\n%s\n'
            '        </Directory>\n      </Directory>\n' % (pf, "\n".join(comp_xml(c, 10) for c in in_main)))
    if in_32:
        dirs += ('      <Directory Id="ProgramFilesFolder">\n        <Directory Id="INSTALLDIR32" Name="Zaduze">\n%s\n'
                 '        </Directory>\n      </Directory>\n' % "\n".join(comp_xml(c, 10) for c in in_32))
    dirs += "    </Directory>"
    refs = "\n".join('      <ComponentRef Id="%s"/>' % c[0] for c in components)
    title = "Zaduze exam lockdown" + (" (64-bit)" if win64 else " (32-bit)")
    wxs = """<?xml version="1.0" encoding="utf-8"?>
<!-- Generated by tools/package/make_wxs.py; do not edit. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="{title}" Language="1033" Version="{version}" Manufacturer="Zaduze"
           UpgradeCode="{upgrade}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="{title} {version}" Comments="Exam page control Zaduze.dll and agent ZedudeVeri.exe"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of Zaduze is already installed."/>
    <Media Id="1" Cabinet="zaduze.cab" EmbedCab="yes"/>
    <Icon Id="ZedudeVeri.ico" SourceFile="{bindir}/ZedudeVeri.ico"/>
    <Property Id="ARPPRODUCTICON" Value="ZedudeVeri.ico"/>
    <Property Id="ARPCOMMENTS" Value="Zaduze.dll (ActiveX control of the exam page) and ZedudeVeri.exe (agent)"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
{dirs}
    <Feature Id="Zaduze" Title="Zaduze" Level="1">
{refs}
    </Feature>
  </Product>
</Wix>
""".format(product=guid(arch, version, "product"), title=title, version=version, upgrade=UPGRADE_CODE,
           bindir=bindir, dirs=dirs, refs=refs)
    open(out_wxs, "w", encoding="utf-8").write(wxs)
    open(out_sql, "w", encoding="utf-8").write("\n".join(rows.sql) + "\n")


if __name__ == "__main__":
    main()
